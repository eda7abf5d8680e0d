// Page controls, track bars and progress bars (common controls, drawn
// without visual styles so that their colours show).
#pragma once

#include "framework/Controls.h"
#include "framework/StdCtrls.h"

#include <string>
#include <vector>

class TPageControl;

struct TTabSheetArgs {
    KRV_CONTROL_ARGS
    std::wstring Caption{};
};

// One page; its controls are made on it with Add.
class TTabSheet : public TWinControl {
public:
    using TArgs = TTabSheetArgs;
    TTabSheet(TWinControl* parent, const TTabSheetArgs& args);
    using TWinControl::Add;
    int PageIndex() const { return FPageIndex; }

protected:
    void CreateParams(TCreateParams& params) override;

private:
    friend class TPageControl;
    int FPageIndex = 0;
};

struct TPageControlArgs {
    KRV_CONTROL_ARGS
    // Every tab at least this wide (the widest caption decides); 0: each as
    // wide as its caption. Either way the padding beside the captions, and
    // if need be the size of their font, make every caption read in full
    // with all tabs in one row.
    int TabWidth = 0;
};

class TPageControl : public TWinControl {
public:
    using TArgs = TPageControlArgs;
    TPageControl(TWinControl* parent, const TPageControlArgs& args);

    TTabSheet* AddPage(const TTabSheetArgs& args);
    int PageCount() const { return static_cast<int>(FPages.size()); }
    TTabSheet* Page(int index) const { return FPages.at(static_cast<std::size_t>(index)); }
    int ActivePageIndex() const { return FActive; }
    TTabSheet* ActivePage() const { return FActive >= 0 ? FPages[static_cast<std::size_t>(FActive)] : nullptr; }
    // Shows a page (no OnChange).
    void SetActivePageIndex(int index);

    // Runs when the user turns the page.
    TNotifyEvent OnChange;

    bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool SelectNextPage(bool forward) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void LayoutPages();
    void FitTabs();
    void UserSelect(int index);
    std::vector<TTabSheet*> FPages;
    std::vector<std::wstring> FCaptions;
    int FActive = -1;
    int FTabWidth = 0;
};

enum TTrackBarOrientation : unsigned char { trHorizontal, trVertical };

struct TTrackBarArgs {
    KRV_CONTROL_ARGS
    TTrackBarOrientation Orientation = trHorizontal;
    int Min = 0;
    int Max = 10;
    int Position = 0;
    int Frequency = 1;  // tick every n positions
};

class TTrackBar : public TControl {
public:
    using TArgs = TTrackBarArgs;
    TTrackBar(TWinControl* parent, const TTrackBarArgs& args);
    int Position() const { return FPosition; }
    // Moves the thumb; OnChange runs when the position differs, as for a
    // move by the user.
    void SetPosition(int value);
    int Min() const { return FMin; }
    int Max() const { return FMax; }
    void SetColor(TColor color) override;

    TNotifyEvent OnChange;
    bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;

private:
    TTrackBarOrientation FOrientation;
    int FMin, FMax, FPosition, FFrequency;
};

enum TProgressBarOrientation : unsigned char { pbHorizontal, pbVertical };

struct TProgressBarArgs {
    KRV_CONTROL_ARGS
    TProgressBarOrientation Orientation = pbHorizontal;
    int Min = 0;
    int Max = 100;
    int Position = 0;
    bool Smooth = true;
    std::optional<TColor> BarColor{};
    std::optional<TColor> BackgroundColor{};
};

class TProgressBar : public TControl {
public:
    using TArgs = TProgressBarArgs;
    TProgressBar(TWinControl* parent, const TProgressBarArgs& args);
    int Position() const { return FPosition; }
    void SetPosition(int value);
    void StepBy(int delta) { SetPosition(FPosition + delta); }
    int Max() const { return FMax; }
    void SetMax(int value);
    void SetBarColor(TColor color);
    void SetBackgroundColor(TColor color);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint(HDC dc);
    TProgressBarOrientation FOrientation;
    int FMin, FMax, FPosition;
    bool FSmooth;
    std::optional<TColor> FBarColor, FBackgroundColor;
};

// Turns visual styles off for one control, so that it draws in the colours
// it is given.
void DisableTheme(HWND window);
