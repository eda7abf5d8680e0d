#include "framework/ComCtrls.h"

#include <uxtheme.h>

#include <algorithm>
#include <optional>

#include "framework/TabFit.h"

void DisableTheme(HWND window) { SetWindowTheme(window, L"", L""); }

// --- TTabSheet ------------------------------------------------------------

TTabSheet::TTabSheet(TWinControl* parent, const TTabSheetArgs& args) : TWinControl(parent, ControlArgsOf(args))
{
    FInitialCaption = args.Caption;
    if (!args.Color) FColor = clBtnFace;
}

void TTabSheet::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = L"KRV.TabSheet";
    params.Style |= WS_CLIPCHILDREN;
    params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
    params.ExStyle |= WS_EX_CONTROLPARENT;
    params.Caption.clear();
}

// --- TPageControl ---------------------------------------------------------

TPageControl::TPageControl(TWinControl* parent, const TPageControlArgs& args) : TWinControl(parent, ControlArgsOf(args))
{
    FTabStop = args.TabStop.value_or(true);
    FTabWidth = args.TabWidth;
}

void TPageControl::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = WC_TABCONTROLW;
    params.SystemClass = true;
    params.Style |= WS_CLIPCHILDREN | TCS_TABS | TCS_FOCUSONBUTTONDOWN;
    if (FTabWidth > 0) params.Style |= TCS_FIXEDWIDTH;
    params.ExStyle |= WS_EX_CONTROLPARENT;
}

void TPageControl::CreateWnd()
{
    DisableTheme(FHandle);
    FitTabs();
}

namespace {

// The selected tab stands out this far on each side of its place in the row.
constexpr int kSelectedTabOutset = 2;
constexpr int kTabPaddingVertical = 3;
constexpr int kSmallestTabFontSize = 6;

std::vector<int> TextWidths(HWND window, HFONT font, const std::vector<std::wstring>& texts)
{
    std::vector<int> widths;
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    for (const std::wstring& text : texts) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widths.push_back(static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return widths;
}

}  // namespace

void TPageControl::FitTabs()
{
    if (!FHandle) return;
    RECT client;
    GetClientRect(FHandle, &client);
    const int room = static_cast<int>(client.right) - 2 * kSelectedTabOutset;
    // The control's font, one point smaller at a time while even captions
    // without padding would not stand in one row.
    TFont font = FFont;
    std::optional<int> padding;
    std::vector<int> captions;
    for (;; --font.Size) {
        captions = TextWidths(FHandle, font.Handle(), FCaptions);
        padding = FitTabPadding(captions, room, FTabWidth);
        if (padding || font.Size <= kSmallestTabFontSize) break;
    }
    const int pad = padding.value_or(0);
    SendMessageW(FHandle, TCM_SETPADDING, 0, MAKELPARAM(pad, kTabPaddingVertical));
    // No minimum width of the control's own: the captions and the padding
    // decide (its default minimum would make six short tabs too wide).
    SendMessageW(FHandle, TCM_SETMINTABWIDTH, 0, 0);
    // A font sent again makes the control measure its tabs anew.
    SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font.Handle()), TRUE);
    if (FTabWidth > 0 && !captions.empty())
        SendMessageW(FHandle, TCM_SETITEMSIZE, 0,
                     MAKELPARAM(TabWidths(captions, pad, std::min(FTabWidth, room / PageCount())).front(), 0));
    LayoutPages();
}

TTabSheet* TPageControl::AddPage(const TTabSheetArgs& args)
{
    TTabSheetArgs pageArgs = args;
    pageArgs.Visible = FPages.empty();
    TTabSheet* page = Add<TTabSheet>(pageArgs);
    page->FPageIndex = static_cast<int>(FPages.size());
    FPages.push_back(page);
    FCaptions.push_back(args.Caption);
    std::wstring caption = args.Caption;
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(FHandle, TCM_INSERTITEMW, static_cast<WPARAM>(page->FPageIndex), reinterpret_cast<LPARAM>(&item));
    if (FActive < 0) {
        FActive = 0;
        SendMessageW(FHandle, TCM_SETCURSEL, 0, 0);
    }
    FitTabs();
    return page;
}

void TPageControl::LayoutPages()
{
    RECT r;
    GetClientRect(FHandle, &r);
    SendMessageW(FHandle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    for (TTabSheet* page : FPages) page->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TPageControl::SetActivePageIndex(int index)
{
    if (index < 0 || index >= PageCount()) return;
    HWND focus = GetFocus();
    TTabSheet* old = ActivePage();
    bool focusInOld = old && focus && (focus == old->Handle() || IsChild(old->Handle(), focus));
    FActive = index;
    SendMessageW(FHandle, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (TTabSheet* page : FPages) {
        if (page->FPageIndex == index) {
            page->Show();
            SetWindowPos(page->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
    for (TTabSheet* page : FPages)
        if (page->FPageIndex != index) page->Hide();
    if (focusInOld && CanFocus()) SetFocus();
}

void TPageControl::UserSelect(int index)
{
    SetActivePageIndex(index);
    if (OnChange) OnChange(this);
}

bool TPageControl::SelectNextPage(bool forward)
{
    if (PageCount() < 2) return PageCount() == 1;
    int next = (FActive + (forward ? 1 : PageCount() - 1)) % PageCount();
    UserSelect(next);
    return true;
}

bool TPageControl::Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(TCN_SELCHANGE)) {
        UserSelect(static_cast<int>(SendMessageW(FHandle, TCM_GETCURSEL, 0, 0)));
        result = 0;
        return true;
    }
    return TWinControl::Reflected(message, wParam, lParam, result);
}

LRESULT TPageControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE) {
        LRESULT result = TWinControl::WndProc(message, wParam, lParam);
        FitTabs();
        return result;
    }
    return TWinControl::WndProc(message, wParam, lParam);
}

// --- TTrackBar ------------------------------------------------------------

TTrackBar::TTrackBar(TWinControl* parent, const TTrackBarArgs& args)
    : TControl(parent, ControlArgsOf(args)),
      FOrientation(args.Orientation),
      FMin(args.Min),
      FMax(args.Max),
      FPosition(std::clamp(args.Position, args.Min, std::max(args.Min, args.Max))),
      FFrequency(args.Frequency)
{
    FTabStop = args.TabStop.value_or(true);
}

void TTrackBar::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = TRACKBAR_CLASSW;
    params.SystemClass = true;
    params.Style |= TBS_AUTOTICKS | (FOrientation == trVertical ? TBS_VERT : TBS_HORZ);
}

void TTrackBar::CreateWnd()
{
    DisableTheme(FHandle);
    SendMessageW(FHandle, TBM_SETRANGEMIN, FALSE, FMin);
    SendMessageW(FHandle, TBM_SETRANGEMAX, FALSE, FMax);
    SendMessageW(FHandle, TBM_SETTICFREQ, static_cast<WPARAM>(std::max(1, FFrequency)), 0);
    SendMessageW(FHandle, TBM_SETPOS, TRUE, FPosition);
}

void TTrackBar::SetPosition(int value)
{
    value = std::clamp(value, FMin, std::max(FMin, FMax));
    if (value == FPosition) return;
    FPosition = value;
    SendMessageW(FHandle, TBM_SETPOS, TRUE, value);
    if (OnChange) OnChange(this);
}

void TTrackBar::SetColor(TColor color)
{
    FColor = color;
    if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

bool TTrackBar::Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_HSCROLL:
    case WM_VSCROLL: {
        int position = static_cast<int>(SendMessageW(FHandle, TBM_GETPOS, 0, 0));
        if (position != FPosition) {
            FPosition = position;
            if (OnChange) OnChange(this);
        }
        result = 0;
        return true;
    }
    case WM_CTLCOLORSTATIC:
        result = ColorAnswer(reinterpret_cast<HDC>(wParam));
        return true;
    default:
        return TControl::Reflected(message, wParam, lParam, result);
    }
}

// --- TProgressBar ---------------------------------------------------------

TProgressBar::TProgressBar(TWinControl* parent, const TProgressBarArgs& args)
    : TControl(parent, ControlArgsOf(args)),
      FOrientation(args.Orientation),
      FMin(args.Min),
      FMax(args.Max),
      FPosition(args.Position),
      FSmooth(args.Smooth),
      FBarColor(args.BarColor),
      FBackgroundColor(args.BackgroundColor)
{
}

void TProgressBar::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = PROGRESS_CLASSW;
    params.SystemClass = true;
    params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
    if (FOrientation == pbVertical) params.Style |= PBS_VERTICAL;
    if (FSmooth) params.Style |= PBS_SMOOTH;
}

void TProgressBar::CreateWnd()
{
    DisableTheme(FHandle);
    const int position = FPosition;
    const auto bar = FBarColor;
    const auto background = FBackgroundColor;
    SendMessageW(FHandle, PBM_SETRANGE32, static_cast<WPARAM>(FMin), FMax);
    SendMessageW(FHandle, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    if (bar) SetBarColor(*bar);
    if (background) SetBackgroundColor(*background);
}

void TProgressBar::SetPosition(int value)
{
    SendMessageW(FHandle, PBM_SETPOS, static_cast<WPARAM>(std::clamp(value, FMin, std::max(FMin, FMax))), 0);
}

void TProgressBar::SetMax(int value)
{
    SendMessageW(FHandle, PBM_SETRANGE32, static_cast<WPARAM>(FMin), value);
}

void TProgressBar::SetBarColor(TColor color)
{
    SendMessageW(FHandle, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(ColorToRGB(color)));
    FBarColor = color;
}

void TProgressBar::SetBackgroundColor(TColor color)
{
    SendMessageW(FHandle, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(ColorToRGB(color)));
    FBackgroundColor = color;
}

void TProgressBar::Paint(HDC dc)
{
    // Drawn here in its bar and background colours, whatever visual style
    // the system would give it.
    RECT r;
    GetClientRect(FHandle, &r);
    DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    const COLORREF back = FBackgroundColor ? ColorToRGB(*FBackgroundColor) : GetSysColor(COLOR_BTNFACE);
    const COLORREF bar = FBarColor ? ColorToRGB(*FBarColor) : GetSysColor(COLOR_HIGHLIGHT);
    FillRect(dc, &r, BrushOf(back));
    const int range = FMax - FMin;
    if (range <= 0) return;
    const int done = std::clamp(FPosition - FMin, 0, range);
    RECT filled = r;
    if (FOrientation == pbVertical)
        filled.top = r.bottom - MulDiv(r.bottom - r.top, done, range);
    else
        filled.right = r.left + MulDiv(r.right - r.left, done, range);
    if (filled.right > filled.left && filled.bottom > filled.top) FillRect(dc, &filled, BrushOf(bar));
}

LRESULT TProgressBar::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
        PAINTSTRUCT ps{};
        HDC dc = message == WM_PAINT ? BeginPaint(FHandle, &ps) : reinterpret_cast<HDC>(wParam);
        Paint(dc);
        if (message == WM_PAINT) EndPaint(FHandle, &ps);
        return 0;
    }
    case PBM_SETPOS:
    case PBM_DELTAPOS:
    case PBM_STEPIT:
    case PBM_SETRANGE:
    case PBM_SETRANGE32:
    case PBM_SETBARCOLOR:
    case PBM_SETBKCOLOR: {
        // Keep the fields in step when the control is driven by messages.
        LRESULT result = TControl::WndProc(message, wParam, lParam);
        FPosition = static_cast<int>(TControl::WndProc(PBM_GETPOS, 0, 0));
        PBRANGE range{};
        TControl::WndProc(PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
        FMin = range.iLow;
        FMax = range.iHigh;
        if (message == PBM_SETBARCOLOR) FBarColor = static_cast<TColor>(lParam);
        if (message == PBM_SETBKCOLOR) FBackgroundColor = static_cast<TColor>(lParam);
        InvalidateRect(FHandle, nullptr, FALSE);
        return result;
    }
    default:
        return TControl::WndProc(message, wParam, lParam);
    }
}
