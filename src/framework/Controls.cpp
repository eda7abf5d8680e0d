#include "framework/Controls.h"

#include "framework/Forms.h"
#include "framework/Messages.h"
#include "framework/Text.h"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace {

const wchar_t* const ObjectProp = L"KRV.Object";
const wchar_t* const NameProp = L"KRV.Name";

// The control whose window is being made: notifications that arrive during
// CreateWindowEx (WM_MEASUREITEM) go to it.
thread_local TControl* Creating = nullptr;
int NextId = 100;

TControl* ObjectOf(HWND window)
{
    return window ? static_cast<TControl*>(GetPropW(window, ObjectProp)) : nullptr;
}

}  // namespace

void RegisterLayerClass(const std::wstring& className, UINT classStyle)
{
    static std::set<std::wstring> registered;
    if (registered.count(className)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = TControl::ClassProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = className.c_str();
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("Cannot register window class " + WideToUtf8(className));
    registered.insert(className);
}

TControl::TControl(TWinControl* parent, const TControlArgs& args)
    : FName(args.Name),
      FParent(parent),
      FLeft(args.Left),
      FTop(args.Top),
      FWidth(args.Width),
      FHeight(args.Height),
      FVisible(args.Visible),
      FEnabled(args.Enabled),
      FTabOrder(args.TabOrder),
      FTabStop(args.TabStop.value_or(false))
{
    if (parent) {
        FForm = parent->FForm;
        FFont = parent->FFont;
    }
    if (args.Font) FFont = *args.Font;
    if (args.Color) FColor = *args.Color;
    else if (parent) FColor = parent->FColor;
}

TControl::~TControl()
{
    if (FHandle) DestroyWindow(FHandle);
}

TForm* TControl::OwnerForm() const { return FForm; }

void TControl::CreateParams(TCreateParams& params)
{
    params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (FVisible) params.Style |= WS_VISIBLE;
    if (!FEnabled) params.Style |= WS_DISABLED;
    if (FTabStop) params.Style |= WS_TABSTOP;
    params.Caption = FInitialCaption;
    params.ParentWindow = FParent ? FParent->Handle() : nullptr;
}

void TControl::CreateHandle()
{
    TCreateParams params;
    CreateParams(params);
    if (!params.SystemClass) RegisterLayerClass(params.ClassName, params.ClassStyle);
    HMENU menu = nullptr;
    if (params.Style & WS_CHILD) {
        if (FId == 0) FId = NextId++ & 0x7FFF;
        menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(FId));
    }
    TControl* previous = Creating;
    Creating = this;
    HWND window = CreateWindowExW(params.ExStyle, params.ClassName.c_str(), params.Caption.c_str(), params.Style,
                                  FLeft, FTop, FWidth, FHeight, params.ParentWindow, menu,
                                  GetModuleHandleW(nullptr), this);
    Creating = previous;
    if (window == nullptr) throw std::runtime_error("Cannot create window " + WideToUtf8(FName));
    if (params.SystemClass) {
        Attach(window);
        FPrevProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControl::SubclassProc)));
    }
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), FALSE);
}

void TControl::Attach(HWND window)
{
    FHandle = window;
    SetPropW(window, ObjectProp, this);
    if (!FName.empty()) {
        FNameAtom = GlobalAddAtomW(FName.c_str());
        SetPropW(window, NameProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(FNameAtom)));
    }
}

void TControl::Detach()
{
    if (FHandle == nullptr) return;
    RemovePropW(FHandle, ObjectProp);
    if (FNameAtom) {
        RemovePropW(FHandle, NameProp);
        GlobalDeleteAtom(FNameAtom);
        FNameAtom = 0;
    }
    FHandle = nullptr;
}

void TControl::RecreateWnd()
{
    if (FHandle == nullptr) return;
    const bool hadFocus = GetFocus() == FHandle;
    FInitialCaption = Caption();
    HWND old = FHandle;
    HWND after = GetWindow(old, GW_HWNDPREV);
    WNDPROC previous = FPrevProc;
    (void)previous;
    DestroyWindow(old);
    FPrevProc = nullptr;
    CreateHandle();
    SetWindowPos(FHandle, after ? after : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    CreateWnd();
    if (hadFocus) SetFocus();
}

LRESULT CALLBACK TControl::ClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (auto* control = static_cast<TControl*>(cs->lpCreateParams)) control->Attach(window);
    }
    TControl* control = ObjectOf(window);
    if (control == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return control->Dispatch(message, wParam, lParam);
}

LRESULT CALLBACK TControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TControl* control = ObjectOf(window);
    if (control == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return control->Dispatch(message, wParam, lParam);
}

LRESULT TControl::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Exceptions never unwind into the system: they end here and are
    // reported through the message sink.
    try {
        switch (message) {
        case WM_SETFOCUS: {
            LRESULT result = WndProc(message, wParam, lParam);
            if (FForm && FForm != this) FForm->ControlFocused(this);
            return result;
        }
        case WM_KILLFOCUS: {
            LRESULT result = WndProc(message, wParam, lParam);
            if (FForm && FForm != this) FForm->ControlUnfocused(this, reinterpret_cast<HWND>(wParam));
            return result;
        }
        case WM_NCDESTROY: {
            LRESULT result = WndProc(message, wParam, lParam);
            Detach();
            return result;
        }
        default:
            return WndProc(message, wParam, lParam);
        }
    } catch (...) {
        ReportException(std::current_exception());
        return 0;
    }
}

LRESULT TControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefaultHandler(message, wParam, lParam);
}

LRESULT TControl::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (FPrevProc) return CallWindowProcW(FPrevProc, FHandle, message, wParam, lParam);
    return DefWindowProcW(FHandle, message, wParam, lParam);
}

bool TControl::Reflected(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void TControl::FocusChanged(TControl*) {}

LRESULT TControl::ColorAnswer(HDC dc)
{
    SetTextColor(dc, ColorToRGB(FFont.Color));
    SetBkColor(dc, ColorToRGB(FColor));
    return reinterpret_cast<LRESULT>(BrushOf(FColor));
}

TControl* TControl::FromHandle(HWND window)
{
    while (window) {
        if (TControl* control = ObjectOf(window)) return control;
        window = GetParent(window);
    }
    return nullptr;
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    if (FHandle) MoveWindow(FHandle, left, top, width, height, TRUE);
}

TRectI TControl::ClientRect() const
{
    RECT r{0, 0, FWidth, FHeight};
    if (FHandle) GetClientRect(FHandle, &r);
    return {r.left, r.top, r.right, r.bottom};
}

void TControl::SetVisible(bool value)
{
    FVisible = value;
    if (FHandle) ShowWindow(FHandle, value ? SW_SHOWNA : SW_HIDE);
}

bool TControl::Showing() const
{
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FVisible) return false;
    return true;
}

void TControl::SetEnabled(bool value)
{
    FEnabled = value;
    if (FHandle) EnableWindow(FHandle, value ? TRUE : FALSE);
}

void TControl::SetTabOrder(int value) { FTabOrder = value; }

void TControl::SetFont(const TFont& font)
{
    FFont = font;
    if (FHandle) {
        SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), TRUE);
        Invalidate();
    }
}

void TControl::SetColor(TColor color)
{
    FColor = color;
    Invalidate();
}

std::wstring TControl::Caption() const
{
    if (FHandle == nullptr) return FInitialCaption;
    int length = GetWindowTextLengthW(FHandle);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    length = GetWindowTextW(FHandle, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void TControl::SetCaption(const std::wstring& text)
{
    FInitialCaption = text;
    if (FHandle) SetWindowTextW(FHandle, text.c_str());
    Invalidate();
}

bool TControl::CanFocus() const
{
    if (FHandle == nullptr) return false;
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FVisible || !c->FEnabled) return false;
    return true;
}

bool TControl::Focused() const { return FHandle != nullptr && GetFocus() == FHandle; }

void TControl::SetFocus()
{
    if (FHandle) ::SetFocus(FHandle);
}

void TControl::Invalidate()
{
    if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void TControl::Repaint()
{
    if (FHandle) {
        InvalidateRect(FHandle, nullptr, TRUE);
        UpdateWindow(FHandle);
    }
}

// ---------------------------------------------------------------------------

TWinControl::TWinControl(TWinControl* parent, const TControlArgs& args) : TControl(parent, args) {}

void TWinControl::Adopt(std::unique_ptr<TControl> child)
{
    if (child->FTabOrder < 0) {
        int next = 0;
        for (TControl* c : FOrder) next = std::max(next, c->FTabOrder + 1);
        child->FTabOrder = next;
    }
    FOrder.push_back(child.get());
    FChildren.push_back(std::move(child));
}

void TWinControl::KeepBackgroundsBehind()
{
    for (TControl* c : FOrder)
        if (c->FIsBackground && c->FHandle)
            SetWindowPos(c->FHandle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWinControl::Release(TControl* child)
{
    FOrder.erase(std::remove(FOrder.begin(), FOrder.end(), child), FOrder.end());
}

std::vector<TControl*> TWinControl::TabList() const
{
    std::vector<TControl*> list = FOrder;
    std::stable_sort(list.begin(), list.end(),
                     [](const TControl* a, const TControl* b) { return a->TabOrder() < b->TabOrder(); });
    return list;
}

TControl* TWinControl::FindChild(const std::wstring& name) const
{
    for (TControl* c : FOrder) {
        if (c->Name() == name) return c;
        if (auto* container = dynamic_cast<TWinControl*>(c))
            if (TControl* found = container->FindChild(name)) return found;
    }
    return nullptr;
}

TControl* TWinControl::ChildById(int id) const
{
    for (TControl* c : FOrder)
        if (c->FId == id) return c;
    return nullptr;
}

void TWinControl::PaintBackground(HDC dc)
{
    RECT r;
    GetClientRect(FHandle, &r);
    FillRect(dc, &r, BrushOf(FColor));
}

LRESULT TWinControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    TControl* child = nullptr;
    switch (message) {
    case WM_COMMAND:
        child = ObjectOf(reinterpret_cast<HWND>(lParam));
        break;
    case WM_NOTIFY:
        child = ObjectOf(reinterpret_cast<NMHDR*>(lParam)->hwndFrom);
        break;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU) child = ObjectOf(item->hwndItem);
        break;
    }
    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU) {
            child = ChildById(static_cast<int>(item->CtlID));
            if (child == nullptr && Creating && Creating->FParent == this) child = Creating;
        }
        break;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_HSCROLL:
    case WM_VSCROLL:
        child = ObjectOf(reinterpret_cast<HWND>(lParam));
        break;
    case WM_ERASEBKGND:
        if (FPrevProc == nullptr) {
            PaintBackground(reinterpret_cast<HDC>(wParam));
            return 1;
        }
        break;
    default:
        break;
    }
    if (child && child != this) {
        LRESULT result = 0;
        if (child->Reflected(message, wParam, lParam, result)) return result;
    }
    return DefaultHandler(message, wParam, lParam);
}
