// krvctl: the commands that press, set and read a control as a user does.
#include "Krvctl.h"

#include <commctrl.h>

#include <cwctype>

namespace krvctl {

namespace {

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

}  // namespace

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

}  // namespace krvctl
