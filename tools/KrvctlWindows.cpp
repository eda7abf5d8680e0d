// krvctl: output, the windows of the target process, and finding a control
// by its component name.
#include "Krvctl.h"

#include <cstdio>
#include <cwchar>

namespace krvctl {

namespace {

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

}  // namespace

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

// Top-level windows of the process and all their descendants.
std::vector<HWND> WindowsOfProcess(DWORD processId)
{
    std::vector<HWND> windows;
    Enumeration enumeration{processId, &windows};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&enumeration));
    return windows;
}

std::vector<HWND> ErrorBoxWindowsOf(DWORD processId)
{
    std::vector<HWND> boxes;
    for (HWND window : WindowsOfProcess(processId)) {
        if (GetParent(window) != nullptr || !IsWindowVisible(window))
            continue;
        std::wstring caption;
        if (TextOf(window, caption) && caption == L"Error")
            boxes.push_back(window);
    }
    return boxes;
}

std::vector<std::wstring> ErrorBoxesOf(DWORD processId)
{
    std::vector<std::wstring> texts;
    for (HWND window : ErrorBoxWindowsOf(processId)) {
        std::wstring text;
        if (HWND message = GetDlgItem(window, 0xFFFF))  // the box's text control
            TextOf(message, text);
        texts.push_back(text);
    }
    return texts;
}

int StopAtErrorBox(DWORD processId, const std::wstring& at)
{
    const auto boxes = ErrorBoxesOf(processId);
    return boxes.empty() ? kOk : Error(kError, at + L"error box \"" + boxes.front() + L"\"");
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
bool ParsePosition(const std::wstring& text, long& position)
{
    wchar_t* end = nullptr;
    position = std::wcstol(text.c_str(), &end, 10);
    return end && end != text.c_str() && *end == L'\0';
}


// ---------------------------------------------------------------- session ---

bool Session::FindTargetProcess(DWORD& processId) const
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

HWND Session::FindOnce(const std::wstring& name) const
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

bool Session::ParseDialogControlName(const std::wstring& name, unsigned long& id, std::wstring& windowClass)
{
    if (name.size() < 2 || name[0] != L'#')
        return false;
    const std::size_t colon = name.find(L':');
    windowClass = colon == std::wstring::npos ? L"" : name.substr(colon + 1);
    return ParseNumber(name.substr(1, colon == std::wstring::npos ? std::wstring::npos : colon - 1), id);
}

bool Session::IsSystemDialogControl(HWND window, unsigned long id, const std::wstring& windowClass)
{
    HWND root = GetAncestor(window, GA_ROOT);
    return root != window && IsWindowVisible(root) && HasClass(root, L"#32770") &&
           static_cast<unsigned long>(GetDlgCtrlID(window)) == id &&
           (windowClass.empty() || HasClass(window, windowClass.c_str()));
}

std::wstring Session::WhyNotFound(const std::wstring& name) const
{
    const std::wstring waited = L" (waited " + std::to_wstring(waitMs) + L" ms)";
    DWORD processId = 0;
    if (!FindTargetProcess(processId))
        return L"no control named \"" + name + L"\": no window of class \"" + targetClass + L"\"" + waited;
    return L"no control named \"" + name + L"\" in process " + std::to_wstring(processId) + waited;
}

HWND Session::FindControl(const std::wstring& name) const
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

}  // namespace krvctl
