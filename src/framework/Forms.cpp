#include "framework/Forms.h"

#include "framework/Dispatcher.h"
#include "framework/Messages.h"

#include <algorithm>

TApplication Application;

namespace {

TControlArgs FormControlArgs(const TFormArgs& args)
{
    return TControlArgs{.Name = args.Name, .Left = args.Left, .Top = args.Top, .Width = args.ClientWidth,
                        .Height = args.ClientHeight, .Visible = false, .Font = args.Font, .Color = args.Color};
}

void CollectFocusable(const TWinControl* container, std::vector<TControl*>& out)
{
    for (TControl* c : container->TabList()) {
        if (c->Handle() == nullptr || !c->Visible() || !c->Enabled()) continue;
        if (c->TabStop()) out.push_back(c);
        if (auto* inner = dynamic_cast<const TWinControl*>(c)) CollectFocusable(inner, out);
    }
}

void BroadcastFocus(const TWinControl* container, TControl* focused)
{
    for (TControl* c : container->Controls()) {
        c->FocusChanged(focused);
        if (auto* inner = dynamic_cast<const TWinControl*>(c)) BroadcastFocus(inner, focused);
    }
}

}  // namespace

TForm::TForm(const TFormArgs& args) : TWinControl(nullptr, FormControlArgs(args)), FFormArgs(args)
{
    FForm = this;
    FFont = args.Font;
    FColor = args.Color;
    FInitialCaption = args.Caption;
    Application.Initialize();
    CreateHandle();
    CreateWnd();
}

TForm::~TForm()
{
    FDestroying = true;
    FActive = FRestoreTo = FDefaultButton = FCancelButton = nullptr;
    if (FHandle) {
        HWND window = FHandle;
        DestroyWindow(window);
    }
}

void TForm::CreateParams(TCreateParams& params)
{
    params.ClassName = FFormArgs.ClassName;
    params.ClassStyle = CS_DBLCLKS;
    params.Caption = FFormArgs.Caption;
    params.Style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    params.ExStyle = WS_EX_CONTROLPARENT;
    switch (FFormArgs.BorderStyle) {
    case bsSingle:
        break;
    case bsSizeable:
        params.Style |= WS_THICKFRAME;
        break;
    case bsDialog:
        params.ExStyle |= WS_EX_DLGMODALFRAME;
        break;
    }
    if (FFormArgs.SystemMenu) params.Style |= WS_SYSMENU;
    if (FFormArgs.MinimizeBox && FFormArgs.BorderStyle != bsDialog) params.Style |= WS_MINIMIZEBOX;
    if (FFormArgs.MaximizeBox && FFormArgs.BorderStyle != bsDialog) params.Style |= WS_MAXIMIZEBOX;
    TForm* main = Application.MainForm();
    if (main && main != this && main->Handle()) {
        params.ParentWindow = main->Handle();  // owned: stays above the main window, no task-bar button
    } else {
        params.ParentWindow = nullptr;
        params.ExStyle |= WS_EX_APPWINDOW;
    }
    RECT r{0, 0, FFormArgs.ClientWidth, FFormArgs.ClientHeight};
    AdjustWindowRectEx(&r, params.Style, FALSE, params.ExStyle);
    FWidth = r.right - r.left;
    FHeight = r.bottom - r.top;
    switch (FFormArgs.Position) {
    case poDesigned:
        FLeft = FFormArgs.Left;
        FTop = FFormArgs.Top;
        break;
    case poDefault:
        FLeft = FTop = CW_USEDEFAULT;
        break;
    case poScreenCenter: {
        RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        FLeft = work.left + std::max(0L, (work.right - work.left - FWidth) / 2);
        FTop = work.top + std::max(0L, (work.bottom - work.top - FHeight) / 2);
        break;
    }
    }
}

bool TForm::IsMainForm() const { return Application.MainForm() == this; }

void TForm::Show()
{
    if (FVisible && IsWindowVisible(FHandle)) {
        if (IsIconic(FHandle)) ShowWindow(FHandle, SW_RESTORE);
        SetForegroundWindow(FHandle);
        return;
    }
    if (OnShow) OnShow(this);
    FVisible = true;
    ShowWindow(FHandle, SW_SHOW);
    SetForegroundWindow(FHandle);
    UpdateWindow(FHandle);
}

void TForm::Hide()
{
    if (!FVisible) return;
    FVisible = false;
    ShowWindow(FHandle, SW_HIDE);
    if (OnHide) OnHide(this);
}

void TForm::Close()
{
    TCloseAction action = IsMainForm() ? caFree : caHide;
    if (OnClose) OnClose(this, action);
    switch (action) {
    case caNone:
        return;
    case caMinimize:
        ShowWindow(FHandle, SW_MINIMIZE);
        return;
    case caHide:
        Hide();
        return;
    case caFree:
        Hide();
        if (IsMainForm()) Application.Terminate();
        return;
    }
}

void TForm::SetActiveControl(TControl* control)
{
    if (control && control->CanFocus()) control->SetFocus();
}

std::vector<TControl*> TForm::FocusOrder() const
{
    std::vector<TControl*> list;
    CollectFocusable(this, list);
    return list;
}

void TForm::SelectNext(TControl* from, bool forward)
{
    std::vector<TControl*> list = FocusOrder();
    if (list.empty()) return;
    const int count = static_cast<int>(list.size());
    int index = -1;
    for (TControl* c = from; c && index < 0; c = c->Parent()) {
        auto it = std::find(list.begin(), list.end(), c);
        if (it != list.end()) index = static_cast<int>(it - list.begin());
    }
    int next;
    if (index < 0)
        next = forward ? 0 : count - 1;
    else
        next = forward ? (index + 1) % count : (index + count - 1) % count;
    TControl* target = list[static_cast<std::size_t>(next)];
    target->SetFocus();
    if (SendMessageW(target->Handle(), WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        SendMessageW(target->Handle(), EM_SETSEL, 0, -1);
}

bool TForm::DialogKey(const MSG& message)
{
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
    const WPARAM key = message.wParam;
    if (key != VK_TAB && key != VK_RETURN && key != VK_ESCAPE) return false;
    if (message.message == WM_SYSKEYDOWN) return false;  // Alt combinations belong to the system
    TControl* focused = TControl::FromHandle(message.hwnd);
    const LRESULT code =
        SendMessageW(message.hwnd, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(const_cast<MSG*>(&message)));
    if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (key) {
    case VK_TAB:
        if (code & DLGC_WANTTAB) return false;
        if (control) {
            for (TControl* c = focused; c; c = c->Parent())
                if (c->SelectNextPage(!shift)) return true;
            return true;
        }
        SelectNext(focused, !shift);
        return true;
    case VK_RETURN:
        if (focused && focused->IsButton() && focused->Enabled()) {
            focused->Click();
        } else if (FDefaultButton && FDefaultButton->CanFocus()) {
            FDefaultButton->Click();
        }
        return true;
    case VK_ESCAPE:
        if (FCancelButton && FCancelButton->CanFocus()) FCancelButton->Click();
        return true;
    default:
        return false;
    }
}

void TForm::ControlFocused(TControl* control)
{
    if (FDestroying) return;
    FRestoreTo = nullptr;
    if (control != FActive) {
        FActive = control;
        BroadcastFocus(this, control);
        if (control->OnEnter) control->OnEnter(control);
    }
}

void TForm::ControlUnfocused(TControl* control, HWND newFocus)
{
    if (FDestroying) return;
    TControl* target = TControl::FromHandle(newFocus);
    if (target == nullptr || target->OwnerForm() != this || target == control || target == this) return;
    // The focus moves to another control of this form: that is an exit.
    FRestoreTo = target;
    if (control->OnExit) control->OnExit(control);
}

void TForm::RestoreFocus()
{
    TControl* target = FRestoreTo ? FRestoreTo : FActive;
    if (target && target->CanFocus()) {
        target->SetFocus();
        return;
    }
    std::vector<TControl*> list = FocusOrder();
    if (!list.empty())
        list.front()->SetFocus();
    else
        ::SetFocus(FHandle);
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_QUERYENDSESSION:
        return !OnQueryEndSession || OnQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
        if (OnEndSession) OnEndSession(wParam != FALSE);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) {
            RestoreFocus();
            return 0;
        }
        break;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    default:
        break;
    }
    return TWinControl::WndProc(message, wParam, lParam);
}

// ---------------------------------------------------------------------------

void TApplication::Initialize()
{
    if (FInitialized) return;
    FInitialized = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                             ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&icc);
    TUIDispatcher::Start();
}

void TApplication::HandleMessage(MSG& message)
{
    if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
        TControl* control = TControl::FromHandle(message.hwnd);
        TForm* form = control ? control->OwnerForm() : nullptr;
        if (form && form->DialogKey(message)) return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void TApplication::Run()
{
    Initialize();
    if (FMainForm && !FMainForm->Visible()) FMainForm->Show();
    MSG message;
    while (!FTerminated) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        HandleMessage(message);
    }
    FTerminated = true;
    DestroyForms();
    TUIDispatcher::Stop();
}

void TApplication::ProcessMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            FTerminated = true;
            return;
        }
        HandleMessage(message);
    }
}

bool TApplication::ProcessMessagesUntil(const std::function<bool()>& done, unsigned timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        ProcessMessages();
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void TApplication::Terminate()
{
    FTerminated = true;
    if (InsideMessage()) {
        // The main form closed from inside a message box (it has no owner,
        // so the main form takes commands while it is open). Leaving the
        // box's loop would first take the box down and wait for it to go:
        // the program ends here instead, as Run would end it, and the box
        // goes with the process.
        DestroyForms();
        TUIDispatcher::Stop();
        ExitProcess(0);
    }
    PostQuitMessage(0);
}

void TApplication::DestroyForm(TForm* form)
{
    auto it = std::find_if(FForms.begin(), FForms.end(), [form](const auto& f) { return f.get() == form; });
    if (it == FForms.end()) return;
    std::unique_ptr<TForm> owned = std::move(*it);
    FForms.erase(it);
    try {
        if (owned->OnDestroy) owned->OnDestroy(owned.get());
    } catch (...) {
        ReportException(std::current_exception());
    }
    if (FMainForm == form) FMainForm = nullptr;
    owned.reset();
}

void TApplication::DestroyForms()
{
    while (!FForms.empty()) DestroyForm(FForms.back().get());
}
