// What the parts of krvctl share: exit codes, output, the windows of the
// target process and the session that finds its controls by component name.
// Every command has the signature of Command::run (see krvctl.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace krvctl {

constexpr int kOk = 0;
constexpr int kError = 1;
constexpr int kNotFound = 2;
constexpr wchar_t kNameProperty[] = L"KRV.Name";
constexpr wchar_t kGlyphProperty[] = L"KRV.Glyph";
constexpr UINT kHandlerTimeoutMs = 15000;  // a handler that waits for a worker thread
constexpr UINT kSendTimeoutMs = 5000;

using Args = std::vector<std::wstring>;

// ---------------------------------------------------------------- output ---

// Prints a line to stdout in UTF-8.
void PrintLine(const std::wstring& text);
// Prints "krvctl: MESSAGE" to stderr; returns `code`.
int Error(int code, const std::wstring& message);

// ---------------------------------------------------------------- windows ---

std::wstring ClassOf(HWND window);
bool HasClass(HWND window, const wchar_t* name);
// Text of a window property that holds a global atom ("" when unset).
std::wstring AtomPropertyOf(HWND window, const wchar_t* property);
std::wstring ComponentNameOf(HWND window);
bool TextOf(HWND window, std::wstring& text);
// Top-level windows of the process and all their descendants.
std::vector<HWND> WindowsOfProcess(DWORD processId);
// Visible top-level windows of the process captioned "Error" (the program's
// message boxes).
std::vector<HWND> ErrorBoxWindowsOf(DWORD processId);
// The text each of them shows.
std::vector<std::wstring> ErrorBoxesOf(DWORD processId);
// A cycle's exit at an "Error" box of the process: kError, with AT (such as
// "cycle 3: ") before the box's text in the message; kOk when none is shown.
int StopAtErrorBox(DWORD processId, const std::wstring& at);

bool ParseNumber(const std::wstring& text, unsigned long& value);
bool ParsePosition(const std::wstring& text, long& position);

// ---------------------------------------------------------------- session ---

struct Session {
    std::wstring targetClass = L"TFormMain";
    DWORD targetPid = 0;
    DWORD waitMs = 0;

    bool FindTargetProcess(DWORD& processId) const;
    HWND FindOnce(const std::wstring& name) const;
    // A control of a shown system dialog (a file dialog, a message box) has no
    // component name: "#<control id>" or "#<control id>:<class>" names it.
    static bool ParseDialogControlName(const std::wstring& name, unsigned long& id, std::wstring& windowClass);
    static bool IsSystemDialogControl(HWND window, unsigned long id, const std::wstring& windowClass);
    // Why FindControl found nothing: no target at all, or a target without
    // that control.
    std::wstring WhyNotFound(const std::wstring& name) const;
    // The control named `name`, retried for waitMs; nullptr when absent.
    HWND FindControl(const std::wstring& name) const;
};

// ---------------------------------------------------- shared by commands ---

// Clicks a button and returns once its click handler has run.
bool PressButton(HWND window);
// Moves a track bar's thumb as the user does: the bar takes the position and
// its parent gets the scroll notification; returns once it is handled. An
// empty text is success, else what failed.
std::wstring MoveTrackBar(HWND window, long position);

// --------------------------------------------------------------- commands ---

// Top-level windows and the process (KrvctlProcess.cpp).
int WaitClass(Session&, HWND, const Args&);
int WaitNoMutex(Session&, HWND, const Args&);
int Close(Session&, HWND, const Args&);
int Exists(Session&, HWND, const Args&);
int List(Session&, HWND, const Args&);
int Minimize(Session&, HWND, const Args&);
int WindowState(Session&, HWND, const Args&);
int Foreground(Session&, HWND, const Args&);
int ErrorBox(Session&, HWND, const Args&);
int DismissErrorBox(Session&, HWND, const Args&);
int Atom(Session&, HWND, const Args&);
int DeleteAtom(Session&, HWND, const Args&);

// Controls: press, set and read (KrvctlControls.cpp).
int Click(Session&, HWND, const Args&);
int Text(Session&, HWND, const Args&);
int SetText(Session&, HWND, const Args&);
int Focus(Session&, HWND, const Args&);
int Key(Session&, HWND, const Args&);
int Press(Session&, HWND, const Args&);
int Glyph(Session&, HWND, const Args&);
int Position(Session&, HWND, const Args&);
int TrackBar(Session&, HWND, const Args&);
int Select(Session&, HWND, const Args&);
int Tab(Session&, HWND, const Args&);
int Visible(Session&, HWND, const Args&);

// Timed and repeated presses and moves (KrvctlTiming.cpp).
int PressTimed(Session&, HWND, const Args&);
int PressAt(Session&, HWND, const Args&);
int PressCycle(Session&, HWND, const Args&);
int FileDialogCycle(Session&, HWND, const Args&);
int TrackBarCycle(Session&, HWND, const Args&);
int GainRestart(Session&, HWND, const Args&);

}  // namespace krvctl
