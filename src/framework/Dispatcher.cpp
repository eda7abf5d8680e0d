#include "framework/Dispatcher.h"

#include "framework/Controls.h"
#include "framework/TaskQueue.h"

#include <atomic>

namespace {

constexpr UINT WM_KRV_DISPATCH = WM_APP + 0x101;

TTaskQueue& Queue()
{
    static TTaskQueue queue;
    return queue;
}
std::atomic<HWND> Window{nullptr};

LRESULT CALLBACK DispatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KRV_DISPATCH) {
        Queue().RunAll();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Wake()
{
    if (HWND window = Window.load()) PostMessageW(window, WM_KRV_DISPATCH, 0, 0);
}

}  // namespace

void TUIDispatcher::Post(TTask task)
{
    if (Queue().Push(std::move(task))) Wake();
}

void TUIDispatcher::PostLatest(std::uintptr_t key, TTask task)
{
    if (Queue().PushLatest(key, std::move(task))) Wake();
}

void TUIDispatcher::RunPending() { Queue().RunAll(); }

void TUIDispatcher::Start()
{
    if (Window.load()) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DispatchProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KRV.Dispatcher";
    RegisterClassExW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    Window.store(window);
    // Tasks queued before the window existed.
    PostMessageW(window, WM_KRV_DISPATCH, 0, 0);
}

void TUIDispatcher::Stop()
{
    Queue().Close();
    if (HWND window = Window.exchange(nullptr)) DestroyWindow(window);
}
