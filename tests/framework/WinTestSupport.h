// Helpers of the tests that make real windows under Wine.
#pragma once

#include "framework/Forms.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

inline void Pump(unsigned ms = 50)
{
    Application.ProcessMessagesUntil([] { return false; }, ms);
}

inline bool PumpUntil(const std::function<bool()>& done, unsigned ms = 3000)
{
    return Application.ProcessMessagesUntil(done, ms);
}

// A key pressed on the focused window as the message loop sees it, with the
// modifier keys given held down.
inline void PressKey(WORD key, bool shift = false, bool control = false)
{
    BYTE state[256];
    GetKeyboardState(state);
    BYTE saved[256];
    CopyMemory(saved, state, sizeof state);
    if (shift) state[VK_SHIFT] = 0x80;
    if (control) state[VK_CONTROL] = 0x80;
    SetKeyboardState(state);
    HWND focus = GetFocus();
    MSG message{focus, WM_KEYDOWN, key, 1, 0, {0, 0}};
    Application.HandleMessage(message);
    Pump(20);
    SetKeyboardState(saved);
}

// The component name a control carries for the test tools ("" for none).
inline std::wstring AtomName(HWND window)
{
    auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(window, L"KRV.Name")));
    wchar_t buffer[256] = {};
    if (atom) GlobalGetAtomNameW(atom, buffer, 256);
    return buffer;
}

// Typed characters as the edit control receives them.
inline void TypeChars(HWND window, const wchar_t* text)
{
    for (; *text; ++text) SendMessageW(window, WM_CHAR, static_cast<WPARAM>(*text), 1);
}

inline void SetClipboardText(const wchar_t* text)
{
    OpenClipboard(nullptr);
    EmptyClipboard();
    const std::size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    CopyMemory(GlobalLock(memory), text, bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
}

// The colour on screen of a window's client pixel.
inline COLORREF PixelOf(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return c;
}

// Counts the pixels of a colour in a window's client area.
inline int CountPixels(HWND window, COLORREF colour)
{
    RECT r;
    GetClientRect(window, &r);
    HDC dc = GetDC(window);
    int count = 0;
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x)
            if (GetPixel(dc, x, y) == colour) ++count;
    ReleaseDC(window, dc);
    return count;
}

// A real mouse click (or double click) at the centre of a window.
inline void MouseClicks(HWND window, int clicks)
{
    RECT r;
    GetWindowRect(window, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Pump(30);
    for (int i = 0; i < clicks; ++i) {
        INPUT input[2]{};
        input[0].type = input[1].type = INPUT_MOUSE;
        input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, input, sizeof(INPUT));
        Pump(30);
    }
    Pump(100);
}

// A test with one shown form of a kind, destroyed after the test.
template <class TFormKind>
class TFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application.Initialize();
        Form = Application.CreateForm<TFormKind>();
        Form->Show();
        Pump(100);
    }
    void TearDown() override
    {
        Application.DestroyForms();
        Pump(20);
    }
    TFormKind* Form = nullptr;
};
