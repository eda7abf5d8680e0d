// krvctl: the commands on the target's top-level windows, its error boxes,
// its process and the session's global objects.
#include "Krvctl.h"

namespace krvctl {

int WaitClass(Session&, HWND, const Args& args)
{
    unsigned long timeoutMs = 0;
    if (!ParseNumber(args[1], timeoutMs))
        return Error(kError, L"bad time-out: " + args[1]);
    const DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowW(args[0].c_str(), nullptr);
        if (window && IsWindowVisible(window))
            return kOk;
        if (GetTickCount() - start >= timeoutMs)
            return Error(kNotFound, L"no visible window of class \"" + args[0] + L"\" after " + args[1] + L" ms");
        Sleep(50);
    }
}

int Close(Session&, HWND, const Args& args)
{
    HWND window = FindWindowW(args[0].c_str(), nullptr);
    if (!window)
        return Error(kNotFound, L"no window of class \"" + args[0] + L"\"");
    if (!PostMessageW(window, WM_CLOSE, 0, 0))
        return Error(kError, L"cannot post WM_CLOSE");
    return kOk;
}

int Exists(Session& session, HWND, const Args& args)
{
    return session.FindControl(args[0]) ? kOk : kNotFound;
}

int List(Session& session, HWND, const Args&)
{
    DWORD processId = 0;
    if (!session.FindTargetProcess(processId))
        return Error(kNotFound, L"no target process");
    for (HWND window : WindowsOfProcess(processId)) {
        const std::wstring name = ComponentNameOf(window);
        if (name.empty())
            continue;
        std::wstring text;
        TextOf(window, text);
        PrintLine(name + L"\t" + ClassOf(window) + L"\t" + text);
    }
    return kOk;
}

int Minimize(Session&, HWND, const Args& args)
{
    HWND window = FindWindowW(args[0].c_str(), nullptr);
    if (!window)
        return Error(kNotFound, L"no window of class \"" + args[0] + L"\"");
    return PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0) ? kOk : Error(kError, L"cannot post SC_MINIMIZE");
}

int WindowState(Session&, HWND, const Args& args)
{
    HWND window = FindWindowW(args[0].c_str(), nullptr);
    if (!window)
        return Error(kNotFound, L"no window of class \"" + args[0] + L"\"");
    PrintLine(IsIconic(window) ? L"minimized" : (IsWindowVisible(window) ? L"normal" : L"hidden"));
    return kOk;
}

// Waits until no object of the session holds the named mutex's name: a
// program that keeps one for its life has then ended, not only its windows.
int WaitNoMutex(Session&, HWND, const Args& args)
{
    DWORD ms = 0;
    if (!ParseNumber(args[1], ms))
        return Error(kError, L"bad time: " + args[1]);
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, args[0].c_str());
        if (!mutex)
            return kOk;
        CloseHandle(mutex);
        if (GetTickCount64() >= deadline)
            return Error(kNotFound, L"the mutex \"" + args[0] + L"\" still exists");
        Sleep(20);
    }
}

int Foreground(Session&, HWND, const Args&)
{
    HWND window = GetForegroundWindow();
    if (!window)
        return Error(kNotFound, L"no foreground window");
    PrintLine(ClassOf(window));
    return kOk;
}

int ErrorBox(Session& session, HWND, const Args&)
{
    DWORD processId = 0;
    if (!session.FindTargetProcess(processId))
        return Error(kNotFound, L"no target process");
    const auto boxes = ErrorBoxesOf(processId);
    for (const std::wstring& text : boxes)
        PrintLine(text);
    return boxes.empty() ? kNotFound : kOk;
}

// Presses OK on each "Error" box of the target.
int DismissErrorBox(Session& session, HWND, const Args&)
{
    DWORD processId = 0;
    if (!session.FindTargetProcess(processId))
        return Error(kNotFound, L"no target process");
    const auto boxes = ErrorBoxWindowsOf(processId);
    for (HWND window : boxes)
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    return boxes.empty() ? kNotFound : kOk;
}

// Whether the global atom exists: exit 0, else 2.
int Atom(Session&, HWND, const Args& args)
{
    return GlobalFindAtomW(args[0].c_str()) ? kOk : kNotFound;
}

// Drops every reference to the global atom.
int DeleteAtom(Session&, HWND, const Args& args)
{
    for (int i = 0; i < 100000; ++i) {
        const ATOM atom = GlobalFindAtomW(args[0].c_str());
        if (!atom) break;
        GlobalDeleteAtom(atom);
    }
    return kOk;
}
}  // namespace krvctl
