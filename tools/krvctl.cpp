// krvctl: drives a running program through its windows, for end-to-end tests.
//
// Every control of the program carries the window property "KRV.Name"; its
// value is a global atom (GlobalAddAtomW) holding the component name, e.g.
// "BitBtnExt_Play". krvctl enumerates the windows of the target process (its
// top-level windows and all their descendants) and compares the atom names.
//
//   krvctl [--target-class CLASS | --pid PID] [--wait MS] COMMAND [ARGS...]
//
// The target process is the one owning the top-level window of class
// "TFormMain" unless --target-class or --pid says otherwise. --wait retries
// finding the target and the named control for up to MS milliseconds.
//
// A control of a shown system dialog (file dialog, message box) of the target
// process has no component name: name it "#<control id>" or, where several
// windows share the id, "#<control id>:<class>" (e.g. "#1:Button" for the
// dialog's OK or Save button, "#1148:Edit" for a file dialog's name box).
//
// Exit codes: 0 ok, 2 not found (window, control or time-out), 1 other error.
// Output on stdout is UTF-8. With KRVCTL_FINISHED set to a file name, the exit
// code is also written there when krvctl ends by itself (see MarkFinished).
//
// Adding a command: write a function `int Name(Session&, HWND control, const Args&)`
// and add one line to kCommands.
#include <windows.h>
#include <commctrl.h>

#include "ProcessResources.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kError = 1;
constexpr int kNotFound = 2;
constexpr wchar_t kNameProperty[] = L"KRV.Name";
constexpr wchar_t kGlyphProperty[] = L"KRV.Glyph";
constexpr UINT kHandlerTimeoutMs = 15000;  // a handler that waits for a worker thread
constexpr UINT kSendTimeoutMs = 5000;

using Args = std::vector<std::wstring>;

// ---------------------------------------------------------------- output ---

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

void PrintLine(const std::wstring& text)
{
    const std::string utf8 = ToUtf8(text) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int Error(int code, const std::wstring& message)
{
    const std::string utf8 = "krvctl: " + ToUtf8(message) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    return code;
}

// ---------------------------------------------------------------- windows ---

std::wstring ClassOf(HWND window)
{
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

// Text of a window property that holds a global atom ("" when unset).
std::wstring AtomPropertyOf(HWND window, const wchar_t* property)
{
    const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(window, property)));
    if (atom == 0)
        return {};
    wchar_t buffer[256] = {};
    const UINT length = GlobalGetAtomNameW(atom, buffer, 256);
    return std::wstring(buffer, length);
}

std::wstring ComponentNameOf(HWND window) { return AtomPropertyOf(window, kNameProperty); }

bool TextOf(HWND window, std::wstring& text)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
        return false;
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
        return false;
    buffer.resize(copied);
    text = buffer;
    return true;
}

struct Enumeration {
    DWORD processId;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM context)
{
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context)
{
    auto* enumeration = reinterpret_cast<Enumeration*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == enumeration->processId) {
        enumeration->windows->push_back(window);
        // EnumChildWindows walks all descendants, not only direct children.
        EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(enumeration->windows));
    }
    return TRUE;
}

// Top-level windows of the process and all their descendants.
std::vector<HWND> WindowsOfProcess(DWORD processId)
{
    std::vector<HWND> windows;
    Enumeration enumeration{processId, &windows};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&enumeration));
    return windows;
}

// Visible top-level windows of the process captioned "Error" (the program's
// message boxes), each with the text it shows.
std::vector<std::wstring> ErrorBoxesOf(DWORD processId)
{
    std::vector<std::wstring> texts;
    for (HWND window : WindowsOfProcess(processId)) {
        if (GetParent(window) != nullptr || !IsWindowVisible(window))
            continue;
        std::wstring caption;
        if (!TextOf(window, caption) || caption != L"Error")
            continue;
        std::wstring text;
        if (HWND message = GetDlgItem(window, 0xFFFF))  // the box's text control
            TextOf(message, text);
        texts.push_back(text);
    }
    return texts;
}

bool HasClass(HWND window, const wchar_t* name)
{
    return CompareStringOrdinal(ClassOf(window).c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

bool ParseNumber(const std::wstring& text, unsigned long& value)
{
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    value = std::wcstoul(text.c_str(), &end, 0);
    return end && *end == L'\0';
}

// ---------------------------------------------------------------- session ---

struct Session {
    std::wstring targetClass = L"TFormMain";
    DWORD targetPid = 0;
    DWORD waitMs = 0;

    bool FindTargetProcess(DWORD& processId) const
    {
        if (targetPid != 0) {
            processId = targetPid;
            return true;
        }
        HWND window = FindWindowW(targetClass.c_str(), nullptr);
        if (!window)
            return false;
        GetWindowThreadProcessId(window, &processId);
        return processId != 0;
    }

    HWND FindOnce(const std::wstring& name) const
    {
        DWORD processId = 0;
        if (!FindTargetProcess(processId))
            return nullptr;
        unsigned long id = 0;
        std::wstring idClass;
        const bool byId = ParseDialogControlName(name, id, idClass);
        for (HWND window : WindowsOfProcess(processId)) {
            if (byId ? IsSystemDialogControl(window, id, idClass) : ComponentNameOf(window) == name)
                return window;
        }
        return nullptr;
    }

    // A control of a shown system dialog (a file dialog, a message box) has no
    // component name: "#<control id>" or "#<control id>:<class>" names it.
    static bool ParseDialogControlName(const std::wstring& name, unsigned long& id, std::wstring& windowClass)
    {
        if (name.size() < 2 || name[0] != L'#')
            return false;
        const std::size_t colon = name.find(L':');
        windowClass = colon == std::wstring::npos ? L"" : name.substr(colon + 1);
        return ParseNumber(name.substr(1, colon == std::wstring::npos ? std::wstring::npos : colon - 1), id);
    }

    static bool IsSystemDialogControl(HWND window, unsigned long id, const std::wstring& windowClass)
    {
        HWND root = GetAncestor(window, GA_ROOT);
        return root != window && IsWindowVisible(root) && HasClass(root, L"#32770") &&
               static_cast<unsigned long>(GetDlgCtrlID(window)) == id &&
               (windowClass.empty() || HasClass(window, windowClass.c_str()));
    }

    // Why FindControl found nothing: no target at all, or a target without
    // that control.
    std::wstring WhyNotFound(const std::wstring& name) const
    {
        const std::wstring waited = L" (waited " + std::to_wstring(waitMs) + L" ms)";
        DWORD processId = 0;
        if (!FindTargetProcess(processId))
            return L"no control named \"" + name + L"\": no window of class \"" + targetClass + L"\"" + waited;
        return L"no control named \"" + name + L"\" in process " + std::to_wstring(processId) + waited;
    }

    // The control named `name`, retried for waitMs; nullptr when absent.
    HWND FindControl(const std::wstring& name) const
    {
        const DWORD start = GetTickCount();
        for (;;) {
            if (HWND window = FindOnce(name))
                return window;
            if (GetTickCount() - start >= waitMs)
                return nullptr;
            Sleep(50);
        }
    }
};


// Virtual-key code from a number ("13", "0x0D"), a key name ("RETURN") or a
// single letter or digit.
bool ParseVirtualKey(const std::wstring& text, UINT& key)
{
    unsigned long number = 0;
    if (ParseNumber(text, number) && number > 0 && number < 256) {
        key = static_cast<UINT>(number);
        return true;
    }
    struct Named {
        const wchar_t* name;
        UINT key;
    };
    static const Named kNames[] = {
        {L"RETURN", VK_RETURN}, {L"ENTER", VK_RETURN}, {L"TAB", VK_TAB},       {L"ESCAPE", VK_ESCAPE},
        {L"ESC", VK_ESCAPE},    {L"BACK", VK_BACK},    {L"DELETE", VK_DELETE}, {L"SPACE", VK_SPACE},
        {L"UP", VK_UP},         {L"DOWN", VK_DOWN},    {L"LEFT", VK_LEFT},     {L"RIGHT", VK_RIGHT},
        {L"HOME", VK_HOME},     {L"END", VK_END},      {L"PRIOR", VK_PRIOR},   {L"NEXT", VK_NEXT},
        {L"F1", VK_F1},         {L"F2", VK_F2},        {L"F10", VK_F10},       {L"SUBTRACT", VK_SUBTRACT},
        {L"MINUS", VK_OEM_MINUS},
    };
    std::wstring upper;
    for (wchar_t c : text)
        upper += static_cast<wchar_t>(std::towupper(c));
    for (const Named& named : kNames)
        if (upper == named.name) {
            key = named.key;
            return true;
        }
    if (upper.size() == 1 && ((upper[0] >= L'A' && upper[0] <= L'Z') || (upper[0] >= L'0' && upper[0] <= L'9'))) {
        key = upper[0];
        return true;
    }
    return false;
}

// --------------------------------------------------------------- commands ---

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

int Click(Session&, HWND window, const Args&)
{
    // Posted, so a click that opens a modal window does not block krvctl.
    if (HasClass(window, L"Button")) {
        if (!PostMessageW(window, BM_CLICK, 0, 0))
            return Error(kError, L"cannot post BM_CLICK");
        return kOk;
    }
    RECT client{};
    GetClientRect(window, &client);
    const LPARAM centre = MAKELPARAM((client.right - client.left) / 2, (client.bottom - client.top) / 2);
    if (!PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, centre) ||
        !PostMessageW(window, WM_LBUTTONUP, 0, centre))
        return Error(kError, L"cannot post mouse messages");
    return kOk;
}

int Text(Session&, HWND window, const Args&)
{
    std::wstring text;
    if (!TextOf(window, text))
        return Error(kError, L"WM_GETTEXT failed");
    PrintLine(text);
    return kOk;
}

int SetText(Session&, HWND window, const Args& args)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[1].c_str()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) ||
        !result)
        return Error(kError, L"WM_SETTEXT failed");
    return kOk;
}

int Focus(Session&, HWND window, const Args& args)
{
    // SetFocus works only for windows of the caller's input queue: share the
    // target thread's queue for the duration of the call.
    const DWORD targetThread = GetWindowThreadProcessId(window, nullptr);
    const DWORD ownThread = GetCurrentThreadId();
    const bool attached = AttachThreadInput(ownThread, targetThread, TRUE) != FALSE;
    SetForegroundWindow(GetAncestor(window, GA_ROOT));
    SetFocus(window);
    const bool focused = GetFocus() == window;
    if (attached)
        AttachThreadInput(ownThread, targetThread, FALSE);
    return focused ? kOk : Error(kError, L"could not focus \"" + args[0] + L"\"");
}

int Key(Session&, HWND window, const Args& args)
{
    UINT key = 0;
    if (!ParseVirtualKey(args[1], key))
        return Error(kError, L"bad virtual key: " + args[1]);
    // Posted through the target's message loop, so TranslateMessage makes the
    // WM_CHAR as it would for a real key press.
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    const LPARAM up = down | static_cast<LPARAM>(0xC0000000u);  // previous state, transition
    if (!PostMessageW(window, WM_KEYDOWN, key, down) || !PostMessageW(window, WM_KEYUP, key, up))
        return Error(kError, L"cannot post key messages");
    return kOk;
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

// Clicks a button and returns once its click handler has run.
bool PressButton(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, BM_CLICK, 0, 0, SMTO_NORMAL, kHandlerTimeoutMs, &result) != 0;
}

int Press(Session&, HWND window, const Args& args)
{
    if (!HasClass(window, L"Button"))
        return Error(kError, L"\"" + args[0] + L"\" is no button");
    return PressButton(window) ? kOk : Error(kError, L"the click on \"" + args[0] + L"\" was not handled in time");
}

// The same, and prints how long the handler took, in milliseconds.
int PressTimed(Session& session, HWND window, const Args& args)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const int result = Press(session, window, args);
    QueryPerformanceCounter(&end);
    if (result == kOk)
        PrintLine(std::to_wstring((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart));
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
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const int result = Press(session, window, args);
    QueryPerformanceCounter(&end);
    if (result == kOk) {
        wchar_t line[64];
        swprintf(line, 64, L"%llu.%06llu %lld", micros / 1000000, micros % 1000000,
                 static_cast<long long>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart));
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
        const auto boxes = ErrorBoxesOf(processId);
        if (!boxes.empty())
            return Error(kError, L"cycle " + std::to_wstring(i + 1) + L": error box \"" + boxes.front() + L"\"");
    }
    PrintLine(std::to_wstring(count) + L" cycles in " + std::to_wstring(GetTickCount() - start) + L" ms");
    return kOk;
}

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
        const auto boxes = ErrorBoxesOf(processId);
        if (!boxes.empty())
            return Error(kError, cycle + L"error box \"" + boxes.front() + L"\"");
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

int Glyph(Session&, HWND window, const Args&)
{
    PrintLine(AtomPropertyOf(window, kGlyphProperty));
    return kOk;
}

int Position(Session&, HWND window, const Args& args)
{
    DWORD_PTR position = 0;
    UINT message = 0;
    if (HasClass(window, TRACKBAR_CLASSW))
        message = TBM_GETPOS;
    else if (HasClass(window, PROGRESS_CLASSW))
        message = PBM_GETPOS;
    else
        return Error(kError, L"\"" + args[0] + L"\" is no track bar or progress bar");
    if (!SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &position))
        return Error(kError, L"no answer from \"" + args[0] + L"\"");
    PrintLine(std::to_wstring(static_cast<int>(position)));
    return kOk;
}

bool ParsePosition(const std::wstring& text, long& position)
{
    wchar_t* end = nullptr;
    position = std::wcstol(text.c_str(), &end, 10);
    return end && end != text.c_str() && *end == L'\0';
}

// Moves a track bar's thumb as the user does: the bar takes the position and
// its parent gets the scroll notification; returns once it is handled. An
// empty text is success, else what failed.
std::wstring MoveTrackBar(HWND window, long position)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, TBM_SETPOS, TRUE, position, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
        return L"TBM_SETPOS failed";
    const UINT scroll = (GetWindowLongW(window, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    const WPARAM code = MAKEWPARAM(TB_THUMBPOSITION, static_cast<WORD>(position));
    if (!SendMessageTimeoutW(GetParent(window), scroll, code, reinterpret_cast<LPARAM>(window), SMTO_NORMAL,
                             kHandlerTimeoutMs, &result))
        return L"the move was not handled in time";
    return {};
}

int TrackBar(Session&, HWND window, const Args& args)
{
    long position = 0;
    if (!ParsePosition(args[1], position))
        return Error(kError, L"bad position: " + args[1]);
    if (!HasClass(window, TRACKBAR_CLASSW))
        return Error(kError, L"\"" + args[0] + L"\" is no track bar");
    const std::wstring failed = MoveTrackBar(window, position);
    return failed.empty() ? kOk : Error(kError, failed);
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
        const auto boxes = ErrorBoxesOf(processId);
        if (!boxes.empty())
            return Error(kError, L"move " + std::to_wstring(i + 1) + L": error box \"" + boxes.front() + L"\"");
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

// Chooses the item with the given text in a combo box as a user's pick does:
// the box selects it and its parent gets CBN_SELCHANGE.
int Select(Session&, HWND window, const Args& args)
{
    if (!HasClass(window, L"ComboBox"))
        return Error(kError, L"\"" + args[0] + L"\" is no combo box");
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(window, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count))
        return Error(kError, L"no answer from \"" + args[0] + L"\"");
    for (WPARAM i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(window, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length);
        std::wstring item(static_cast<size_t>(length) + 1, L'\0');
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()), SMTO_ABORTIFHUNG,
                            kSendTimeoutMs, &result);
        item.resize(static_cast<size_t>(length));
        if (item != args[1])
            continue;
        SendMessageTimeoutW(window, CB_SETCURSEL, i, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
        const WPARAM code = MAKEWPARAM(GetDlgCtrlID(window), CBN_SELCHANGE);
        if (!SendMessageTimeoutW(GetParent(window), WM_COMMAND, code, reinterpret_cast<LPARAM>(window), SMTO_NORMAL,
                                 kHandlerTimeoutMs, &result))
            return Error(kError, L"the pick was not handled in time");
        return kOk;
    }
    return Error(kNotFound, L"\"" + args[0] + L"\" has no item \"" + args[1] + L"\"");
}

// Selects a page of a page control as a click on its tab does: the tab
// control moves its focus there, which selects the tab and notifies the
// parent (TCN_SELCHANGING, TCN_SELCHANGE).
int Tab(Session&, HWND window, const Args& args)
{
    unsigned long index = 0;
    if (!ParseNumber(args[1], index))
        return Error(kError, L"bad index: " + args[1]);
    if (!HasClass(window, WC_TABCONTROLW))
        return Error(kError, L"\"" + args[0] + L"\" is no page control");
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, TCM_SETCURFOCUS, index, 0, SMTO_NORMAL, kHandlerTimeoutMs, &result) ||
        !SendMessageTimeoutW(window, TCM_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
        return Error(kError, L"the page was not selected in time");
    return result == index ? kOk : Error(kNotFound, L"no page " + args[1]);
}

int Visible(Session&, HWND window, const Args&)
{
    PrintLine(IsWindowVisible(window) ? L"yes" : L"no");
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
    bool found = false;
    for (HWND window : WindowsOfProcess(processId)) {
        std::wstring caption;
        if (GetParent(window) != nullptr || !IsWindowVisible(window) || !TextOf(window, caption) ||
            caption != L"Error")
            continue;
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        found = true;
    }
    return found ? kOk : kNotFound;
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

// A command whose first argument names a control (control = true) gets that
// control's window; the command is not run when no such control exists.
struct Command {
    const wchar_t* name;
    size_t argumentCount;
    bool control;
    const wchar_t* usage;
    int (*run)(Session&, HWND control, const Args&);
};

const Command kCommands[] = {
    {L"wait-class", 2, false, L"wait-class <class> <ms>   wait for a visible top-level window", WaitClass},
    {L"wait-no-mutex", 2, false, L"wait-no-mutex <name> <ms>  wait until no one holds the named mutex", WaitNoMutex},
    {L"close", 1, false, L"close <class>             post WM_CLOSE to the top-level window", Close},
    {L"exists", 1, false, L"exists <name>             exit 0 when the control exists, else 2", Exists},
    {L"click", 1, true, L"click <name>              click a button (BM_CLICK) or any control", Click},
    {L"text", 1, true, L"text <name>               print the control's text", Text},
    {L"set-text", 2, true, L"set-text <name> <text>    replace the control's text (WM_SETTEXT)", SetText},
    {L"focus", 1, true, L"focus <name>              give the control the keyboard focus", Focus},
    {L"key", 2, true, L"key <name> <vk>           press and release a key (number, name or letter)", Key},
    {L"list", 0, false, L"list                      print name, class and text of every named control", List},
    {L"press", 1, true, L"press <name>              click a button and wait until its handler has run", Press},
    {L"press-timed", 1, true, L"press-timed <name>        the same; prints the handler's time in ms", PressTimed},
    {L"press-at", 1, true, L"press-at <name>           the same; prints the click's wall-clock time and the handler's ms",
     PressAt},
    {L"press-cycle", 3, false, L"press-cycle <n> <a> <b>   press a then b, n times; stop at an error box", PressCycle},
    {L"file-dialogs", 3, false, L"file-dialogs <n> <button> <file|->  n file dialogs answered; prints handle counts",
     FileDialogCycle},
    {L"glyph", 1, true, L"glyph <name>              print the picture resource a button shows", Glyph},
    {L"position", 1, true, L"position <name>           print a track bar's or progress bar's position", Position},
    {L"trackbar", 2, true, L"trackbar <name> <pos>     move a track bar as the user does", TrackBar},
    {L"trackbar-cycle", 5, true,
     L"trackbar-cycle <name> <n> <ms> <a> <b>  move a track bar to a, b, a, ... n times, every ms; stop at an error box",
     TrackBarCycle},
    {L"gain-restart", 5, true,
     L"gain-restart <bar> <pos> <stop> <play> <ms>  move the bar, press stop, press play ms after the move",
     GainRestart},
    {L"select", 2, true, L"select <name> <item text>  choose a combo box item as the user does", Select},
    {L"tab", 2, true, L"tab <name> <index>        select a page as a click on its tab does", Tab},
    {L"visible", 1, true, L"visible <name>            print yes when the control and its parents are shown", Visible},
    {L"minimize", 1, false, L"minimize <class>          minimise the top-level window (SC_MINIMIZE)", Minimize},
    {L"window-state", 1, false, L"window-state <class>      print minimized, normal or hidden", WindowState},
    {L"foreground", 0, false, L"foreground                print the class of the foreground window", Foreground},
    {L"error-box", 0, false, L"error-box                 print the text of each \"Error\" box; exit 2 when none", ErrorBox},
    {L"dismiss-error-box", 0, false, L"dismiss-error-box         press OK on each \"Error\" box; exit 2 when none",
     DismissErrorBox},
    {L"atom", 1, false, L"atom <text>               exit 0 when the global atom exists, else 2", Atom},
    {L"delete-atom", 1, false, L"delete-atom <text>        drop every reference to the global atom", DeleteAtom},
};

int Usage()
{
    std::wstring text =
        L"usage: krvctl [--target-class CLASS | --pid PID] [--wait MS] COMMAND [ARGS...]\ncommands:";
    for (const Command& command : kCommands)
        text += std::wstring(L"\n  ") + command.usage;
    Error(kError, text);
    return kError;
}

// When the environment names a file in KRVCTL_FINISHED, krvctl writes its
// exit code there as it ends by itself: a Wine process whose Wine server goes
// away ends at once with exit code 0 and no word, and the caller can tell
// that from a finished command.
void MarkFinished(int code)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"KRVCTL_FINISHED", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = "finished " + std::to_string(code) + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

int Run(int argc, wchar_t** argv)
{

    Session session;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; i += 2) {
        const std::wstring option = argv[i];
        unsigned long number = 0;
        if (option == L"--target-class")
            session.targetClass = argv[i + 1];
        else if (option == L"--pid" && ParseNumber(argv[i + 1], number))
            session.targetPid = static_cast<DWORD>(number);
        else if (option == L"--wait" && ParseNumber(argv[i + 1], number))
            session.waitMs = static_cast<DWORD>(number);
        else
            return Usage();
    }
    if (i >= argc)
        return Usage();

    const std::wstring name = argv[i];
    const Args args(argv + i + 1, argv + argc);
    for (const Command& command : kCommands) {
        if (name != command.name)
            continue;
        if (args.size() != command.argumentCount)
            return Usage();
        HWND control = nullptr;
        if (command.control && !(control = session.FindControl(args[0])))
            return Error(kNotFound, session.WhyNotFound(args[0]));
        return command.run(session, control, args);
    }
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const int code = Run(argc, argv);
    MarkFinished(code);
    return code;
}
