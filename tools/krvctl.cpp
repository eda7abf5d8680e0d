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
// This file holds the command table, the options and the exit code; the
// commands live in KrvctlProcess.cpp (top-level windows, error boxes, the
// process), KrvctlControls.cpp (press, set and read a control) and
// KrvctlTiming.cpp (timed and repeated presses and moves); KrvctlWindows.cpp
// finds the target's windows and controls.
//
// Adding a command: write a function `int Name(Session&, HWND control, const Args&)`,
// declare it in Krvctl.h and add one line to kCommands.
#include "Krvctl.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

using namespace krvctl;

namespace {

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
