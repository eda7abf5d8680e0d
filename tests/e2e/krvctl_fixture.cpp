// A small window with named controls for testing krvctl itself. Every
// control carries the "KRV.Name" property the way the program's controls do.
//   Button_Press  clicking it counts into Label_Count ("clicks: N")
//   Edit_Value    starts with a non-ASCII text; keys and focus are reported
//   Label_Count, Label_Key ("key N" for the last WM_KEYDOWN in Edit_Value),
//   Label_Focus ("focus Edit_Value" once the edit has the focus)
// For the tests of the end-to-end library's failure report, once the window
// is up:
//   --error-box TEXT  an "Error" message box with TEXT opens (and stays open)
//   --crash           the process crashes (a write through a null pointer)
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr wchar_t kClass[] = L"KRVCtlFixture";
constexpr int kIdPress = 101;
constexpr int kIdValue = 102;
constexpr UINT kShowErrorBox = WM_APP + 1;
constexpr UINT kCrash = WM_APP + 2;

HWND gCount = nullptr;
HWND gKey = nullptr;
HWND gFocus = nullptr;
int gClicks = 0;
WNDPROC gEditProc = nullptr;
std::wstring gErrorBoxText;

void Name(HWND window, const wchar_t* name)
{
    SetPropW(window, L"KRV.Name", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(name))));
}

void Unname(HWND window)
{
    const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(window, L"KRV.Name")));
    if (atom)
        GlobalDeleteAtom(atom);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int y, int id, const wchar_t* name)
{
    HWND window = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, y, 300, 24, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    Name(window, name);
    return window;
}

BOOL CALLBACK UnnameChild(HWND window, LPARAM)
{
    Unname(window);
    return TRUE;
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN)
        SetWindowTextW(gKey, (L"key " + std::to_wstring(wParam)).c_str());
    return CallWindowProcW(gEditProc, window, message, wParam, lParam);
}

LRESULT CALLBACK FixtureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        Child(window, L"BUTTON", L"Press", BS_PUSHBUTTON, 10, kIdPress, L"Button_Press");
        HWND edit = Child(window, L"EDIT", L"Grüße, ☃ 1 kHz", WS_BORDER | ES_AUTOHSCROLL, 40, kIdValue,
                          L"Edit_Value");
        gEditProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
        gCount = Child(window, L"STATIC", L"clicks: 0", 0, 70, 0, L"Label_Count");
        gKey = Child(window, L"STATIC", L"key none", 0, 100, 0, L"Label_Key");
        gFocus = Child(window, L"STATIC", L"focus none", 0, 130, 0, L"Label_Focus");
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kIdPress && HIWORD(wParam) == BN_CLICKED)
            SetWindowTextW(gCount, (L"clicks: " + std::to_wstring(++gClicks)).c_str());
        if (LOWORD(wParam) == kIdValue && HIWORD(wParam) == EN_SETFOCUS)
            SetWindowTextW(gFocus, L"focus Edit_Value");
        return 0;
    case kShowErrorBox:
        // Owned by no window, as the program's error boxes are.
        MessageBoxW(nullptr, gErrorBoxText.c_str(), L"Error", MB_OK | MB_ICONERROR);
        return 0;
    case kCrash: {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return 0;
    }
    case WM_DESTROY:
        EnumChildWindows(window, UnnameChild, 0);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = FixtureProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClass;
    if (!RegisterClassExW(&windowClass))
        return 1;
    HWND window = CreateWindowExW(0, kClass, L"krvctl fixture", WS_OVERLAPPEDWINDOW, 50, 50, 360, 220, nullptr,
                                  nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOW);

    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; args && i < count; ++i) {
        const std::wstring arg = args[i];
        if (arg == L"--error-box" && i + 1 < count) {
            gErrorBoxText = args[++i];
            PostMessageW(window, kShowErrorBox, 0, 0);
        } else if (arg == L"--crash") {
            PostMessageW(window, kCrash, 0, 0);
        }
    }
    LocalFree(args);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
