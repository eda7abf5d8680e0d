// Panels, labels, images, edit boxes, push buttons and combo boxes.
#pragma once

#include "framework/Controls.h"
#include "framework/Forms.h"

#include <memory>
#include <string>
#include <vector>

enum TBevelCut : unsigned char { bvNone, bvLowered, bvRaised };
enum TTextAlignment : unsigned char { taLeft, taRight, taCenterText };

struct TPanelArgs {
    KRV_CONTROL_ARGS
    std::wstring Caption{};
    TBevelCut BevelOuter = bvRaised;
};

// A container with a flat face of its own colour and an optional bevel.
class TPanel : public TWinControl {
public:
    using TArgs = TPanelArgs;
    TPanel(TWinControl* parent, const TPanelArgs& args);
    using TWinControl::Add;
    TBevelCut BevelOuter() const { return FBevelOuter; }

protected:
    void CreateParams(TCreateParams& params) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    TBevelCut FBevelOuter;
};

struct TLabelArgs {
    KRV_CONTROL_ARGS
    std::wstring Caption{};
    TTextAlignment Alignment = taLeft;
    bool AutoSize = true;
    bool Transparent = false;  // paint no background (the parent's shows)
};

class TLabel : public TControl {
public:
    using TArgs = TLabelArgs;
    TLabel(TWinControl* parent, const TLabelArgs& args);
    void SetCaption(const std::wstring& text);
    void SetFontColor(TColor color);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void AdjustSize();
    TTextAlignment FAlignment;
    bool FAutoSize;
    bool FTransparent;
};

struct TImageArgs {
    KRV_CONTROL_ARGS
    std::wstring Picture{};  // bitmap resource name
    bool Stretch = false;
    bool Center = false;
};

// A picture behind the other controls of its parent.
class TImage : public TControl {
public:
    using TArgs = TImageArgs;
    TImage(TWinControl* parent, const TImageArgs& args);
    TBitmap& Picture() { return FPicture; }

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    TBitmap FPicture;
    std::wstring FPictureName{};
    bool FStretch;
    bool FCenter;
};

struct TEditArgs {
    KRV_CONTROL_ARGS
    std::wstring Text{};
    int MaxLength = 0;  // 0: no limit
    TTextAlignment Alignment = taLeft;
    bool ReadOnly = false;
};

// Single-line edit box. Text colour is Font.Color, background Color.
class TEdit : public TControl {
public:
    using TArgs = TEditArgs;
    TEdit(TWinControl* parent, const TEditArgs& args);

    std::wstring Text() const { return Caption(); }
    void SetText(const std::wstring& text);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int value);
    void SelectAll();
    void GetSelection(int& start, int& end) const;
    void SetSelection(int start, int end);

    TNotifyEvent OnChange;

    bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The box's own text changes (no OnChange while they run).
    void SetTextQuietly(const std::wstring& text);
    TTextAlignment FEditAlignment;
    int FMaxLength;
    bool FReadOnly;
    int FQuiet = 0;
};

struct TButtonArgs {
    KRV_CONTROL_ARGS
    std::wstring Caption{};
    bool Default = false;
    bool Cancel = false;
};

// Push button. A click (mouse, Space, Enter while focused) runs OnClick.
// A click that moves the focus from a control whose exit check shows a
// message box still goes through once the box is closed.
class TButton : public TControl {
public:
    using TArgs = TButtonArgs;
    TButton(TWinControl* parent, const TButtonArgs& args);

    TNotifyEvent OnClick;
    void Click() override;
    bool IsButton() const override { return true; }
    bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void FocusChanged(TControl* nowFocused) override;
    bool Default() const { return FDefault; }
    bool Cancel() const { return FCancel; }

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Told whether the button is now the active button of its form (the
    // focused one, or the default one while no button has the focus).
    virtual void SetButtonStyle(bool active);
    bool FDefault;
    bool FCancel;
    unsigned FClickCount = 0;
};

enum TComboStyle : unsigned char { csExDropDownList };

struct TComboBoxExArgs {
    KRV_CONTROL_ARGS
    std::vector<std::wstring> Items{};
    int ItemIndex = -1;
    std::wstring Images{};             // bitmap resource: a strip of square cells
    std::vector<int> ItemImages{};     // image index per item (-1 none); empty: item i shows image i
    int DropDownCount = 8;
};

// Drop-down list with a picture before each item, drawn in the control's
// own colours (Font.Color on Color).
class TComboBoxEx : public TControl {
public:
    using TArgs = TComboBoxExArgs;
    TComboBoxEx(TWinControl* parent, const TComboBoxExArgs& args);

    int ItemIndex() const;
    // Selects an item from code (no OnChange); -1 selects none.
    void SetItemIndex(int index);
    int ItemCount() const;
    std::wstring Item(int index) const;
    void SetItems(const std::vector<std::wstring>& items);
    void AddItem(const std::wstring& item, int imageIndex = -1);
    void Clear();

    // Runs when the user picks an item.
    TNotifyEvent OnChange;

    // Where an item's text is drawn within the item's rectangle (right of
    // its picture).
    RECT ItemTextRect(const RECT& item) const;

    bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void DrawItem(const DRAWITEMSTRUCT& item);
    int ImageOf(int item) const;
    std::vector<std::wstring> FInitialItems{};
    int FInitialIndex;
    std::unique_ptr<TImageList> FImages;
    std::wstring FImagesName{};
    std::vector<int> FItemImages{};
    int FDropDownCount;
};
