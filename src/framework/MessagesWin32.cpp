#include "framework/Messages.h"

#include <windows.h>

void PlatformShowMessage(const std::wstring& text)
{
    // No owner window, caption "Error", OK only, no icon; task-modal so that
    // no window of the program takes input while the box is up.
    MessageBoxW(nullptr, text.c_str(), L"Error", MB_OK | MB_TASKMODAL);
}
