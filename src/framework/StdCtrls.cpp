#include "framework/StdCtrls.h"

#include "framework/Messages.h"

#include <algorithm>

namespace {

SIZE TextExtent(HFONT font, const std::wstring& text)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {r.right - r.left, r.bottom - r.top};
}

int FontLineHeight(HFONT font)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return tm.tmHeight;
}

UINT DrawTextAlignment(TTextAlignment a)
{
    return a == taRight ? DT_RIGHT : a == taCenterText ? DT_CENTER : DT_LEFT;
}

}  // namespace

// --- TPanel ---------------------------------------------------------------

TPanel::TPanel(TWinControl* parent, const TPanelArgs& args)
    : TWinControl(parent, ControlArgsOf(args)), FBevelOuter(args.BevelOuter)
{
    FInitialCaption = args.Caption;
}

void TPanel::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.ClassName = L"KRV.Panel";
    params.Style |= WS_CLIPCHILDREN;
    params.ExStyle |= WS_EX_CONTROLPARENT;
}

LRESULT TPanel::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintClient(FHandle, [this](HDC dc, const RECT& client) {
            RECT r = client;
            if (FBevelOuter != bvNone) DrawEdge(dc, &r, FBevelOuter == bvLowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
            std::wstring caption = Caption();
            if (!caption.empty()) {
                HGDIOBJ old = SelectObject(dc, FFont.Handle());
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, ColorToRGB(FFont.Color));
                DrawTextW(dc, caption.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
                SelectObject(dc, old);
            }
        });
        return 0;
    }
    return TWinControl::WndProc(message, wParam, lParam);
}

// --- TLabel ---------------------------------------------------------------

TLabel::TLabel(TWinControl* parent, const TLabelArgs& args)
    : TControl(parent, ControlArgsOf(args)),
      FAlignment(args.Alignment),
      FAutoSize(args.AutoSize),
      FTransparent(args.Transparent)
{
    FInitialCaption = args.Caption;
}

void TLabel::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"KRV.Label";
    params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
}

void TLabel::CreateWnd() { AdjustSize(); }

void TLabel::AdjustSize()
{
    if (!FAutoSize || FHandle == nullptr) return;
    SIZE size = TextExtent(FFont.Handle(), Caption());
    int left = FLeft;
    if (FAlignment == taRight) left = FLeft + FWidth - size.cx;
    else if (FAlignment == taCenterText) left = FLeft + (FWidth - size.cx) / 2;
    if (FWidth == 0) left = FLeft;
    SetBounds(left, FTop, size.cx, size.cy);
}

void TLabel::SetCaption(const std::wstring& text)
{
    TControl::SetCaption(text);
    AdjustSize();
}

void TLabel::SetFontColor(TColor color)
{
    FFont.Color = color;
    Invalidate();
}

LRESULT TLabel::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintClient(FHandle, [this](HDC dc, const RECT& client) {
            RECT r = client;
            TColor back = FTransparent && FParent ? FParent->Color() : FColor;
            FillRect(dc, &r, BrushOf(back));
            HGDIOBJ old = SelectObject(dc, FFont.Handle());
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, ColorToRGB(FEnabled ? FFont.Color : clGrayText));
            std::wstring caption = Caption();
            DrawTextW(dc, caption.c_str(), -1, &r, DrawTextAlignment(FAlignment) | DT_NOPREFIX | DT_WORDBREAK);
            SelectObject(dc, old);
        });
        return 0;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    default:
        return TControl::WndProc(message, wParam, lParam);
    }
}

// --- TImage ---------------------------------------------------------------

TImage::TImage(TWinControl* parent, const TImageArgs& args)
    : TControl(parent, ControlArgsOf(args)), FPictureName(args.Picture), FStretch(args.Stretch), FCenter(args.Center)
{
    FPicture.OnChange = [this] { Invalidate(); };
    FIsBackground = true;
}

void TImage::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"KRV.Image";
    params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
}

void TImage::CreateWnd()
{
    if (!FPictureName.empty()) FPicture.LoadFromResourceName(FPictureName);
}

LRESULT TImage::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintClient(FHandle, [this](HDC dc, const RECT& r) {
            FillRect(dc, &r, BrushOf(FParent ? FParent->Color() : FColor));
            if (FPicture.Empty()) return;
            TMemoryCanvas source(FPicture.Handle());
            if (FStretch) {
                SetStretchBltMode(dc, HALFTONE);
                SetBrushOrgEx(dc, 0, 0, nullptr);
                StretchBlt(dc, 0, 0, r.right, r.bottom, source.DC(), 0, 0, FPicture.Width(), FPicture.Height(), SRCCOPY);
            } else {
                int x = FCenter ? (r.right - FPicture.Width()) / 2 : 0;
                int y = FCenter ? (r.bottom - FPicture.Height()) / 2 : 0;
                BitBlt(dc, x, y, FPicture.Width(), FPicture.Height(), source.DC(), 0, 0, SRCCOPY);
            }
        });
        return 0;
    default:
        return TControl::WndProc(message, wParam, lParam);
    }
}

// --- TEdit ----------------------------------------------------------------

TEdit::TEdit(TWinControl* parent, const TEditArgs& args)
    : TControl(parent, ControlArgsOf(args)),
      FEditAlignment(args.Alignment),
      FMaxLength(args.MaxLength),
      FReadOnly(args.ReadOnly)
{
    FTabStop = args.TabStop.value_or(true);
    if (!args.Color) FColor = clWindow;
    FInitialCaption = args.Text;
}

void TEdit::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"EDIT";
    params.SystemClass = true;
    params.Style |= ES_AUTOHSCROLL;
    if (FEditAlignment == taRight) params.Style |= ES_RIGHT;
    else if (FEditAlignment == taCenterText) params.Style |= ES_CENTER;
    if (FReadOnly) params.Style |= ES_READONLY;
    params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::CreateWnd()
{
    if (FMaxLength > 0) SendMessageW(FHandle, EM_LIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
}

void TEdit::SetText(const std::wstring& text) { SetCaption(text); }

void TEdit::SetTextQuietly(const std::wstring& text)
{
    ++FQuiet;
    SetWindowTextW(FHandle, text.c_str());
    --FQuiet;
}

void TEdit::SetMaxLength(int value)
{
    FMaxLength = value;
    if (FHandle) SendMessageW(FHandle, EM_LIMITTEXT, static_cast<WPARAM>(value > 0 ? value : 0), 0);
}

void TEdit::SelectAll() { SetSelection(0, -1); }

void TEdit::GetSelection(int& start, int& end) const
{
    DWORD s = 0, e = 0;
    SendMessageW(FHandle, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    start = static_cast<int>(s);
    end = static_cast<int>(e);
}

void TEdit::SetSelection(int start, int end)
{
    SendMessageW(FHandle, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

bool TEdit::Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE && FQuiet == 0 && OnChange) OnChange(this);
        result = 0;
        return true;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        result = ColorAnswer(reinterpret_cast<HDC>(wParam));
        return true;
    default:
        return TControl::Reflected(message, wParam, lParam, result);
    }
}

LRESULT TEdit::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CHAR:
        // Enter, Ctrl+Enter, Esc and Tab act on the window, never on the text.
        if (wParam == VK_RETURN || wParam == 10 || wParam == VK_ESCAPE || wParam == VK_TAB) return 0;
        break;
    case WM_GETDLGCODE:
        return DefaultHandler(message, wParam, lParam) & ~static_cast<LRESULT>(DLGC_WANTTAB | DLGC_WANTALLKEYS);
    default:
        break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

// --- TButton --------------------------------------------------------------

TButton::TButton(TWinControl* parent, const TButtonArgs& args)
    : TControl(parent, ControlArgsOf(args)), FDefault(args.Default), FCancel(args.Cancel)
{
    FTabStop = args.TabStop.value_or(true);
    FInitialCaption = args.Caption;
    if (!args.Color) FColor = clBtnFace;
}

void TButton::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"BUTTON";
    params.SystemClass = true;
    params.Style |= BS_PUSHBUTTON;
}

void TButton::CreateWnd()
{
    if (FForm) {
        if (FDefault) FForm->SetDefaultButton(this);
        if (FCancel) FForm->SetCancelButton(this);
    }
}

void TButton::Click()
{
    ++FClickCount;
    if (OnClick) OnClick(this);
}

bool TButton::Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_COMMAND && (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == BN_DOUBLECLICKED)) {
        if (HIWORD(wParam) == BN_CLICKED) Click();
        result = 0;
        return true;
    }
    return TControl::Reflected(message, wParam, lParam, result);
}

void TButton::FocusChanged(TControl* nowFocused)
{
    bool active = nowFocused && nowFocused->IsButton() ? nowFocused == this : FDefault;
    SetButtonStyle(active);
}

void TButton::SetButtonStyle(bool active)
{
    LONG_PTR style = GetWindowLongPtrW(FHandle, GWL_STYLE);
    LONG_PTR type = active ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((style & BS_TYPEMASK) != type) SendMessageW(FHandle, BM_SETSTYLE, static_cast<WPARAM>(type), TRUE);
}

LRESULT TButton::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDBLCLK:
        // The second click of a double click is a second press.
        message = WM_LBUTTONDOWN;
        [[fallthrough]];
    case WM_LBUTTONDOWN: {
        const unsigned serial = ModalSerial();
        const unsigned clicks = FClickCount;
        LRESULT result = DefaultHandler(message, wParam, lParam);
        // Taking the focus ran an exit check of the control that had it and
        // that check showed a message box: the box took the mouse capture and
        // the button went up while it was open, so the press never ends by
        // itself. The click the user made still counts.
        if (FHandle && ModalSerial() != serial && FClickCount == clicks && GetKeyState(VK_LBUTTON) >= 0) {
            if (GetCapture() == FHandle) ReleaseCapture();
            SendMessageW(FHandle, BM_SETSTATE, FALSE, 0);
            // Unless the check deliberately put the focus on another control
            // of the form, the button takes it and the click goes through.
            TControl* focused = TControl::FromHandle(GetFocus());
            if (focused == nullptr || focused->OwnerForm() != FForm || focused == FForm) SetFocus();
            if (GetFocus() == FHandle && IsWindowEnabled(FHandle)) Click();
        }
        return result;
    }
    default:
        return TControl::WndProc(message, wParam, lParam);
    }
}

// --- TComboBoxEx ----------------------------------------------------------

TComboBoxEx::TComboBoxEx(TWinControl* parent, const TComboBoxExArgs& args)
    : TControl(parent, ControlArgsOf(args)),
      FInitialItems(args.Items),
      FInitialIndex(args.ItemIndex),
      FImagesName(args.Images),
      FItemImages(args.ItemImages),
      FDropDownCount(args.DropDownCount)
{
    FTabStop = args.TabStop.value_or(true);
    if (!args.Color) FColor = clWindow;
    if (!FImagesName.empty()) {
        FImages = std::make_unique<TImageList>();
        FImages->LoadFromResourceName(FImagesName, 0);
    }
}

void TComboBoxEx::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"COMBOBOX";
    params.SystemClass = true;
    params.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL;
}

void TComboBoxEx::CreateWnd()
{
    // The window's height includes the drop-down list.
    const int item = static_cast<int>(SendMessageW(FHandle, CB_GETITEMHEIGHT, 0, 0));
    const int closed = FHeight;
    MoveWindow(FHandle, FLeft, FTop, FWidth, closed + item * std::max(1, FDropDownCount) + 4, FALSE);
    if (closed > 6) SendMessageW(FHandle, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), closed - 6);
    for (const auto& text : FInitialItems) SendMessageW(FHandle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SetItemIndex(FInitialIndex);
}

int TComboBoxEx::ItemIndex() const
{
    LRESULT index = SendMessageW(FHandle, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void TComboBoxEx::SetItemIndex(int index)
{
    // An index outside the items clears the selection.
    if (index < 0 || index >= ItemCount()) index = -1;
    SendMessageW(FHandle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Invalidate();
}

int TComboBoxEx::ItemCount() const { return static_cast<int>(SendMessageW(FHandle, CB_GETCOUNT, 0, 0)); }

std::wstring TComboBoxEx::Item(int index) const
{
    LRESULT length = SendMessageW(FHandle, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(FHandle, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void TComboBoxEx::SetItems(const std::vector<std::wstring>& items)
{
    Clear();
    for (const auto& text : items) AddItem(text);
}

void TComboBoxEx::AddItem(const std::wstring& item, int imageIndex)
{
    int index = static_cast<int>(SendMessageW(FHandle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())));
    if (imageIndex >= 0 || !FItemImages.empty()) {
        if (static_cast<int>(FItemImages.size()) <= index) FItemImages.resize(static_cast<std::size_t>(index) + 1, -1);
        FItemImages[static_cast<std::size_t>(index)] = imageIndex;
    }
}

void TComboBoxEx::Clear()
{
    SendMessageW(FHandle, CB_RESETCONTENT, 0, 0);
    if (!FItemImages.empty()) FItemImages.clear();
}

int TComboBoxEx::ImageOf(int item) const
{
    if (!FImages || item < 0) return -1;
    if (FItemImages.empty()) return item < FImages->Count() ? item : -1;
    if (item >= static_cast<int>(FItemImages.size())) return -1;
    return FItemImages[static_cast<std::size_t>(item)];
}

namespace {
// Space at each end of an item and between its picture and its text.
constexpr int kItemTextGap = 2;
constexpr int kItemImageGap = 4;
}  // namespace

RECT TComboBoxEx::ItemTextRect(const RECT& item) const
{
    RECT text{item.left + kItemTextGap, item.top, item.right - kItemTextGap, item.bottom};
    if (FImages) text.left += FImages->Width() + kItemImageGap;
    return text;
}

void TComboBoxEx::DrawItem(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    COLORREF back = selected ? GetSysColor(COLOR_HIGHLIGHT) : ColorToRGB(FColor);
    COLORREF fore = selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : ColorToRGB(FEnabled ? FFont.Color : clGrayText);
    SetBkColor(dc, back);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    if (item.itemID == static_cast<UINT>(-1)) return;
    int image = ImageOf(static_cast<int>(item.itemID));
    if (FImages && image >= 0) {
        int y = r.top + (r.bottom - r.top - FImages->Height()) / 2;
        ImageList_Draw(FImages->Handle(), image, dc, r.left + kItemTextGap, y, ILD_TRANSPARENT);
    }
    std::wstring text = Item(static_cast<int>(item.itemID));
    HGDIOBJ old = SelectObject(dc, FFont.Handle());
    SetTextColor(dc, fore);
    SetBkMode(dc, TRANSPARENT);
    RECT textRect = ItemTextRect(r);
    DrawTextW(dc, text.c_str(), -1, &textRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) DrawFocusRect(dc, &r);
}

bool TComboBoxEx::Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == CBN_SELCHANGE && OnChange) OnChange(this);
        result = 0;
        return true;
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        int height = FontLineHeight(FFont.Handle()) + 2;
        if (FImages) height = std::max(height, FImages->Height() + 2);
        measure->itemHeight = static_cast<UINT>(height);
        result = TRUE;
        return true;
    }
    case WM_DRAWITEM:
        DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        result = ColorAnswer(reinterpret_cast<HDC>(wParam));
        return true;
    default:
        return TControl::Reflected(message, wParam, lParam, result);
    }
}

LRESULT TComboBoxEx::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The drop-down list asks its combo box for its colours.
    if (message == WM_CTLCOLORLISTBOX) return ColorAnswer(reinterpret_cast<HDC>(wParam));
    return TControl::WndProc(message, wParam, lParam);
}
