// The base of the window layer: one object per window, a virtual window
// procedure, notifications reflected from the parent back to the control
// that sent them, events as function members, and the component name that
// tests use to find a control ("KRV.Name" window property holding a global
// atom).
//
// Controls are made by their parent: parent->Add<TLabel>({.Name = ..., ...}).
// The parent owns them; they live until their form is destroyed.
#pragma once

#include "framework/Geometry.h"
#include "framework/Graphics.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TControl;
class TWinControl;
class TForm;

using TNotifyEvent = std::function<void(TControl* sender)>;

// Fields every creation-arguments struct starts with (in this order, so
// that designated initialisers read {.Name = ..., .Left = ..., ...}).
#define KRV_CONTROL_ARGS                                                       \
    std::wstring Name{};                                                         \
    int Left = 0;                                                              \
    int Top = 0;                                                               \
    int Width = 0;                                                             \
    int Height = 0;                                                            \
    bool Visible = true;                                                       \
    bool Enabled = true;                                                       \
    int TabOrder = -1;                 /* -1: after the siblings made so far */ \
    std::optional<bool> TabStop{};       /* empty: the control kind's default */ \
    std::optional<TFont> Font{};         /* empty: the parent's font */          \
    std::optional<TColor> Color{};       /* empty: the control kind's default */

struct TControlArgs {
    KRV_CONTROL_ARGS
};

// Copies the common fields between two creation-arguments structs (a
// control kind built on another hands its arguments down this way).
template <class TTo, class TFrom>
void CopyControlArgs(TTo& to, const TFrom& from)
{
    to.Name = from.Name;
    to.Left = from.Left;
    to.Top = from.Top;
    to.Width = from.Width;
    to.Height = from.Height;
    to.Visible = from.Visible;
    to.Enabled = from.Enabled;
    to.TabOrder = from.TabOrder;
    to.TabStop = from.TabStop;
    to.Font = from.Font;
    to.Color = from.Color;
}

template <class TArgs>
TControlArgs ControlArgsOf(const TArgs& a)
{
    TControlArgs c;
    CopyControlArgs(c, a);
    return c;
}

struct TCreateParams {
    std::wstring ClassName{};     // window class
    bool SystemClass = false;   // a class of the system (subclassed)
    DWORD Style = 0;
    DWORD ExStyle = 0;
    std::wstring Caption{};
    UINT ClassStyle = CS_DBLCLKS;
    HWND ParentWindow = nullptr;  // the parent's window (forms: the owner)
};

class TControl {
public:
    virtual ~TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    HWND Handle() const { return FHandle; }
    const std::wstring& Name() const { return FName; }
    TWinControl* Parent() const { return FParent; }
    TForm* OwnerForm() const;

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetBounds(int left, int top, int width, int height);
    TRectI ClientRect() const;

    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible and every parent visible.
    bool Showing() const;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);

    int TabOrder() const { return FTabOrder; }
    void SetTabOrder(int value);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool value) { FTabStop = value; }

    const TFont& Font() const { return FFont; }
    void SetFont(const TFont& font);
    TColor Color() const { return FColor; }
    virtual void SetColor(TColor color);

    std::wstring Caption() const;
    void SetCaption(const std::wstring& text);

    bool CanFocus() const;
    bool Focused() const;
    void SetFocus();
    void Invalidate();
    void Repaint();

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // The object of a window of this layer, or of its nearest ancestor
    // that is one.
    static TControl* FromHandle(HWND window);

    // Called by the parent for the notifications the control sent it
    // (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_MEASUREITEM, WM_CTLCOLOR*,
    // WM_HSCROLL, WM_VSCROLL). Returns true when handled.
    virtual bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Tells a button whether it is now the window's active (focused or
    // default) button.
    virtual void FocusChanged(TControl* nowFocused);
    // Controls that take Enter as a click.
    virtual bool IsButton() const { return false; }
    virtual void Click() {}
    // Page controls turn their page (Ctrl+Tab); true when this one did.
    virtual bool SelectNextPage(bool /*forward*/) { return false; }

protected:
    TControl(TWinControl* parent, const TControlArgs& args);

    virtual void CreateParams(TCreateParams& params);
    // After the window exists (fonts, colours, initial state).
    virtual void CreateWnd() {}
    // After CreateWnd, when the control is complete.
    virtual void Loaded() {}
    virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);
    // Destroys and makes the window again (for styles that only apply at
    // creation). Text and focus are kept.
    void RecreateWnd();
    // Brush and colours for a WM_CTLCOLOR* answer with the control's colours.
    LRESULT ColorAnswer(HDC dc);

    void CreateHandle();

    std::wstring FName{};
    TWinControl* FParent;
    HWND FHandle = nullptr;
    WNDPROC FPrevProc = nullptr;
    int FLeft, FTop, FWidth, FHeight;
    bool FVisible, FEnabled;
    int FTabOrder;
    bool FTabStop = false;
    TFont FFont{};
    TColor FColor = clBtnFace;
    std::wstring FInitialCaption{};
    int FId = 0;
    TForm* FForm = nullptr;
    bool FIsBackground = false;  // drawn behind its siblings

private:
    friend class TWinControl;
    friend class TForm;
    friend class TApplication;
    friend void RegisterLayerClass(const std::wstring&, UINT);
    static LRESULT CALLBACK ClassProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Attach(HWND window);
    void Detach();
    ATOM FNameAtom = 0;
};

class TWinControl : public TControl {
public:
    // Makes a child control; the parent owns it.
    template <class T>
    T* Add(const typename T::TArgs& args)
    {
        auto control = std::unique_ptr<T>(new T(this, args));
        T* raw = control.get();
        Adopt(std::move(control));
        TControl* base = raw;
        base->CreateHandle();
        base->CreateWnd();
        base->Loaded();
        KeepBackgroundsBehind();
        return raw;
    }

    const std::vector<TControl*>& Controls() const { return FOrder; }
    // Children in tab order.
    std::vector<TControl*> TabList() const;
    // Finds a control by component name in this subtree.
    TControl* FindChild(const std::wstring& name) const;
    TControl* ChildById(int id) const;

protected:
    TWinControl(TWinControl* parent, const TControlArgs& args);
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Fills the background with the control's colour.
    virtual void PaintBackground(HDC dc);

private:
    friend class TControl;
    // New windows go below their older siblings: pictures that serve as a
    // background are put back behind everything.
    void KeepBackgroundsBehind();
    void Adopt(std::unique_ptr<TControl> child);
    void Release(TControl* child);
    std::vector<std::unique_ptr<TControl>> FChildren;
    std::vector<TControl*> FOrder;
};

// Registers a window class of this layer (once per name).
void RegisterLayerClass(const std::wstring& className, UINT classStyle);
