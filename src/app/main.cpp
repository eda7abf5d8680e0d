// Program entry: the main window "TFormMain" and the message loop.
#include <windows.h>

#include "synthesis/ExtendedPrecision.h"

namespace {

constexpr wchar_t kMainClass[] = L"TFormMain";
constexpr wchar_t kMainCaption[] = L"Signal Generator";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    krv::SetExtendedPrecision();

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainClass;
    if (!RegisterClassExW(&windowClass))
        return 1;

    HWND mainWindow = CreateWindowExW(0, kMainClass, kMainCaption, WS_OVERLAPPEDWINDOW,
                                      CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr, nullptr,
                                      instance, nullptr);
    if (!mainWindow)
        return 1;
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);

    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1)
            return 1;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
