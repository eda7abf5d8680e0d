// krvctl: timed and repeated presses and moves, quick hands and a busy user.
#include "Krvctl.h"
#include "ProcessResources.h"

#include <commctrl.h>

#include <cwchar>

namespace krvctl {

namespace {

// The shown file dialog of the process (a dialog with a file name box).
HWND FileDialogOf(DWORD processId, HWND& nameBox)
{
    for (HWND window : WindowsOfProcess(processId)) {
        HWND root = GetAncestor(window, GA_ROOT);
        if (root != window && GetDlgCtrlID(window) == 1148 && HasClass(window, L"Edit") && IsWindowVisible(root) &&
            HasClass(root, L"#32770")) {
            nameBox = window;
            return root;
        }
    }
    return nullptr;
}
// Runs the press command and sets `ms` to the milliseconds its handler took.
int PressMeasured(Session& session, HWND window, const Args& args, long long& ms)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const int result = Press(session, window, args);
    QueryPerformanceCounter(&end);
    ms = (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
    return result;
}

}  // namespace

// The same, and prints how long the handler took, in milliseconds.
int PressTimed(Session& session, HWND window, const Args& args)
{
    long long ms = 0;
    const int result = PressMeasured(session, window, args, ms);
    if (result == kOk)
        PrintLine(std::to_wstring(ms));
    return result;
}

// The same, and prints the wall-clock time of the click (seconds since 1970
// with microseconds, the clock of the machine's own date) and the handler's
// time in milliseconds, to set against the times in other logs.
int PressAt(Session& session, HWND window, const Args& args)
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const unsigned long long micros =
        ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10 -
        11644473600ull * 1000000ull;
    long long ms = 0;
    const int result = PressMeasured(session, window, args, ms);
    if (result == kOk) {
        wchar_t line[64];
        swprintf(line, 64, L"%llu.%06llu %lld", micros / 1000000, micros % 1000000, ms);
        PrintLine(line);
    }
    return result;
}

// Presses the first button, then the second, COUNT times; stops at the
// first error box of the target process. Prints the time it took.
int PressCycle(Session& session, HWND, const Args& args)
{
    unsigned long count = 0;
    if (!ParseNumber(args[0], count))
        return Error(kError, L"bad count: " + args[0]);
    HWND first = session.FindControl(args[1]);
    HWND second = session.FindControl(args[2]);
    DWORD processId = 0;
    if (!first || !second || !session.FindTargetProcess(processId))
        return Error(kNotFound, L"no such buttons in the target");
    const DWORD start = GetTickCount();
    for (unsigned long i = 0; i < count; ++i) {
        if (!PressButton(first) || !PressButton(second))
            return Error(kError, L"cycle " + std::to_wstring(i + 1) + L": a click was not handled in time");
        if (const int code = StopAtErrorBox(processId, L"cycle " + std::to_wstring(i + 1) + L": "))
            return code;
    }
    PrintLine(std::to_wstring(count) + L" cycles in " + std::to_wstring(GetTickCount() - start) + L" ms");
    return kOk;
}

// Clicks the button COUNT times; each click's file dialog is answered with
// FILE typed into its name box and confirmed, or cancelled when FILE is "-".
// Returns once each dialog has closed and its handler has run; stops at the
// first error box. Prints the time taken and, before and after, the
// process's handles, the registry keys among them, its GDI and USER objects:
//   100 dialogs in 210000 ms
//   handles 77 87
//   keys 20 30
//   gdi 0 0
//   user 0 0
int FileDialogCycle(Session& session, HWND, const Args& args)
{
    unsigned long count = 0;
    if (!ParseNumber(args[0], count))
        return Error(kError, L"bad count: " + args[0]);
    HWND button = session.FindControl(args[1]);
    DWORD processId = 0;
    if (!button || !session.FindTargetProcess(processId))
        return Error(kNotFound, L"no control named \"" + args[1] + L"\"");
    const bool cancel = args[2] == L"-";
    HWND root = GetAncestor(button, GA_ROOT);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(root, WM_NULL, 0, 0, SMTO_NORMAL, kHandlerTimeoutMs, &result);
    ResourceCounts before, after;
    if (!CountResources(processId, before))
        return Error(kError, L"cannot count the target's handles");
    const DWORD start = GetTickCount();
    for (unsigned long i = 0; i < count; ++i) {
        const std::wstring cycle = L"dialog " + std::to_wstring(i + 1) + L": ";
        if (!PostMessageW(button, BM_CLICK, 0, 0))
            return Error(kError, cycle + L"cannot post BM_CLICK");
        HWND nameBox = nullptr, dialog = nullptr;
        for (DWORD waited = GetTickCount(); !(dialog = FileDialogOf(processId, nameBox)); Sleep(20))
            if (GetTickCount() - waited > kHandlerTimeoutMs)
                return Error(kNotFound, cycle + L"no file dialog");
        if (cancel) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        } else {
            if (!SendMessageTimeoutW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str()),
                                     SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
                return Error(kError, cycle + L"cannot type the name");
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        }
        for (DWORD waited = GetTickCount(); IsWindow(dialog) && IsWindowVisible(dialog); Sleep(20))
            if (GetTickCount() - waited > kHandlerTimeoutMs)
                return Error(kError, cycle + L"the dialog stays open");
        if (!SendMessageTimeoutW(root, WM_NULL, 0, 0, SMTO_NORMAL, kHandlerTimeoutMs, &result))
            return Error(kError, cycle + L"the handler did not return in time");
        if (const int code = StopAtErrorBox(processId, cycle))
            return code;
    }
    const DWORD took = GetTickCount() - start;
    if (!CountResources(processId, after))
        return Error(kError, L"cannot count the target's handles");
    PrintLine(std::to_wstring(count) + L" dialogs in " + std::to_wstring(took) + L" ms");
    PrintLine(L"handles " + std::to_wstring(before.handles) + L" " + std::to_wstring(after.handles));
    PrintLine(L"keys " + std::to_wstring(before.keys) + L" " + std::to_wstring(after.keys));
    PrintLine(L"gdi " + std::to_wstring(before.gdi) + L" " + std::to_wstring(after.gdi));
    PrintLine(L"user " + std::to_wstring(before.user) + L" " + std::to_wstring(after.user));
    return kOk;
}

// Moves a track bar as the user does, COUNT times, to the first position,
// then the second, and so on, one move every MS milliseconds on a fixed
// schedule from the first; stops at a move not handled in time or an error
// box of the target process. Prints the time it took.
int TrackBarCycle(Session& session, HWND window, const Args& args)
{
    unsigned long count = 0, period = 0;
    long positions[2] = {0, 0};
    if (!ParseNumber(args[1], count) || !ParseNumber(args[2], period) || !ParsePosition(args[3], positions[0]) ||
        !ParsePosition(args[4], positions[1]))
        return Error(kError, L"bad count, period or position");
    if (!HasClass(window, TRACKBAR_CLASSW))
        return Error(kError, L"\"" + args[0] + L"\" is no track bar");
    DWORD processId = 0;
    if (!session.FindTargetProcess(processId))
        return Error(kNotFound, L"no target process");
    const DWORD start = GetTickCount();
    // Looking for error boxes walks every window of the system: at most
    // every 100 ms, so that the moves keep their pace.
    DWORD looked = start;
    for (unsigned long i = 0; i < count; ++i) {
        const DWORD due = start + i * period;
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(due - now) > 0)
            Sleep(due - now);
        const std::wstring failed = MoveTrackBar(window, positions[i % 2]);
        if (!failed.empty())
            return Error(kError, L"move " + std::to_wstring(i + 1) + L": " + failed);
        if (i + 1 < count && GetTickCount() - looked < 100)
            continue;
        looked = GetTickCount();
        if (const int code = StopAtErrorBox(processId, L"move " + std::to_wstring(i + 1) + L": "))
            return code;
    }
    PrintLine(std::to_wstring(count) + L" moves in " + std::to_wstring(GetTickCount() - start) + L" ms");
    return kOk;
}

// Quick hands: moves the track bar to POS as the user does, presses STOP,
// then presses PLAY MS milliseconds after the move (at once when the Stop
// took longer). Prints the milliseconds from the move to the Play.
int GainRestart(Session& session, HWND window, const Args& args)
{
    long position = 0;
    unsigned long pause = 0;
    if (!ParsePosition(args[1], position) || !ParseNumber(args[4], pause))
        return Error(kError, L"bad position or pause");
    if (!HasClass(window, TRACKBAR_CLASSW))
        return Error(kError, L"\"" + args[0] + L"\" is no track bar");
    HWND stop = session.FindControl(args[2]);
    HWND play = session.FindControl(args[3]);
    if (!stop || !play)
        return Error(kNotFound, L"no such buttons in the target");
    const DWORD start = GetTickCount();
    const std::wstring failed = MoveTrackBar(window, position);
    if (!failed.empty())
        return Error(kError, L"move: " + failed);
    if (!PressButton(stop))
        return Error(kError, L"the click on \"" + args[2] + L"\" was not handled in time");
    const DWORD now = GetTickCount();
    if (now - start < pause)
        Sleep(pause - (now - start));
    const DWORD played = GetTickCount();
    if (!PressButton(play))
        return Error(kError, L"the click on \"" + args[3] + L"\" was not handled in time");
    PrintLine(std::to_wstring(played - start));
    return kOk;
}

}  // namespace krvctl
