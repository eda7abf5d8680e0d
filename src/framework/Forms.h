// Top-level windows and the application object.
//
//   class TFormMain : public TForm {
//   public:
//       TFormMain() : TForm({.Name = L"FormMain", .ClassName = L"TFormMain",
//                            .Caption = L"Signal Generator", .ClientWidth = 400, .ClientHeight = 300}) {
//           BitBtnExt_Play = Add<TBitBtnExt>({.Name = L"BitBtnExt_Play", .Left = 8, ...});
//           BitBtnExt_Play->OnClick = [this](TControl*) { BitBtnExt_PlayClick(); };
//       }
//   };
//   Application.Initialize();
//   FormMain = Application.CreateForm<TFormMain>();
//   Application.Run();
//
// Keyboard as in dialogs: Tab and Shift+Tab move through the controls of the
// form in tab order across panels and pages; Ctrl+Tab turns the pages of the
// page control that holds the focus; Enter clicks the focused button, else
// the default button; Esc clicks the cancel button. Neither Enter nor Esc
// ever reaches a control as a character unless the control asks for it.
//
// OnExit of a control runs when the focus moves to another control of the
// same form, not when the form loses the focus to another window or a
// message box; the form gives the focus back to that control when it is
// activated again.
#pragma once

#include "framework/Controls.h"

#include <memory>
#include <vector>

enum TFormPosition : unsigned char { poDesigned, poDefault, poScreenCenter };
enum TFormBorderStyle : unsigned char { bsSingle, bsSizeable, bsDialog };
enum TCloseAction : unsigned char { caNone, caHide, caFree, caMinimize };

struct TFormArgs {
    std::wstring Name{};
    std::wstring ClassName = L"TForm";
    std::wstring Caption{};
    int Left = 0;
    int Top = 0;
    int ClientWidth = 320;
    int ClientHeight = 240;
    TFormPosition Position = poScreenCenter;
    TFormBorderStyle BorderStyle = bsSingle;
    bool SystemMenu = true;
    bool MinimizeBox = true;
    bool MaximizeBox = false;
    TColor Color = clBtnFace;
    TFont Font{};
};

class TButton;

class TForm : public TWinControl {
public:
    using TArgs = TFormArgs;
    explicit TForm(const TFormArgs& args);
    ~TForm() override;

    // Makes a control directly on the form.
    using TWinControl::Add;

    void Show();
    void Hide();
    // Runs OnClose; the main form then ends the program, others hide.
    void Close();
    bool IsMainForm() const;

    TControl* ActiveControl() const { return FActive; }
    void SetActiveControl(TControl* control);
    // Moves the focus to the next (or previous) control in tab order.
    void SelectNext(TControl* from, bool forward);
    // The focusable controls in tab order.
    std::vector<TControl*> FocusOrder() const;

    // Buttons register themselves when their Default or Cancel is set.
    void SetDefaultButton(TControl* button) { FDefaultButton = button; }
    void SetCancelButton(TControl* button) { FCancelButton = button; }
    TControl* DefaultButton() const { return FDefaultButton; }
    TControl* CancelButton() const { return FCancelButton; }

    // Handles Tab, Enter and Esc for a key message of this form; true when
    // it was used.
    bool DialogKey(const MSG& message);

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnDestroy;
    std::function<void(TControl* sender, TCloseAction& action)> OnClose;
    // The user's session ends (logoff, shutdown). OnQueryEndSession answers
    // whether it may end (yes when unset); OnEndSession(Ending) follows, with
    // Ending false when the end was called off. The system may end the
    // process as soon as OnEndSession returns.
    std::function<bool()> OnQueryEndSession;
    std::function<void(bool Ending)> OnEndSession;

    // Focus bookkeeping, called by the controls.
    void ControlFocused(TControl* control);
    void ControlUnfocused(TControl* control, HWND newFocus);

protected:
    void CreateParams(TCreateParams& params) override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class TApplication;
    void RestoreFocus();
    TFormArgs FFormArgs;
    TControl* FActive = nullptr;
    TControl* FRestoreTo = nullptr;
    TControl* FDefaultButton = nullptr;
    TControl* FCancelButton = nullptr;
    bool FDestroying = false;
};

class TApplication {
public:
    // Common controls, the user-interface dispatcher.
    void Initialize();
    const std::wstring& Title() const { return FTitle; }
    void SetTitle(const std::wstring& title) { FTitle = title; }

    // Constructs a form (the first one is the main form) and runs OnCreate.
    template <class T>
    T* CreateForm()
    {
        auto form = std::make_unique<T>();
        T* raw = form.get();
        FForms.push_back(std::move(form));
        if (FMainForm == nullptr) FMainForm = raw;
        if (raw->OnCreate) raw->OnCreate(raw);
        return raw;
    }
    TForm* MainForm() const { return FMainForm; }

    // Runs the message loop until the main form closes, then destroys the
    // forms (last made first).
    void Run();
    // Handles the messages waiting now.
    void ProcessMessages();
    // Handles messages until the condition holds or the time is up; true
    // when it holds.
    bool ProcessMessagesUntil(const std::function<bool()>& done, unsigned timeoutMs);
    // Ends the message loop; called inside a message box, it ends the
    // program at once (see Forms.cpp).
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Destroys every form (tests make and drop forms one after another).
    void DestroyForms();
    void DestroyForm(TForm* form);

    // One message: keyboard handling of the forms, then the window.
    void HandleMessage(MSG& message);

private:
    std::wstring FTitle{};
    TForm* FMainForm = nullptr;
    std::vector<std::unique_ptr<TForm>> FForms;
    bool FTerminated = false;
    bool FInitialized = false;
};

extern TApplication Application;
