#include "testsupport/broadcast.h"

#include <utility>

namespace testsupport {

namespace {

const wchar_t kWindowClass[] = L"setupkit_test_broadcast_receiver";
constexpr UINT kSyncMessage = WM_APP + 1;
constexpr DWORD kStartTimeoutMs = 10000;

} // namespace

BroadcastReceiver::BroadcastReceiver(std::function<std::wstring()> snapshot)
    : snapshot_(std::move(snapshot))
{
    InitializeCriticalSection(&lock_);
    started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &BroadcastReceiver::thread_main, this, 0, nullptr);
    if (thread_)
        WaitForSingleObject(started_, kStartTimeoutMs);
}

BroadcastReceiver::~BroadcastReceiver()
{
    if (window_)
        PostMessageW(window_, WM_CLOSE, 0, 0);
    if (thread_) {
        WaitForSingleObject(thread_, kStartTimeoutMs);
        CloseHandle(thread_);
    }
    if (started_)
        CloseHandle(started_);
    DeleteCriticalSection(&lock_);
}

std::vector<SettingChange> BroadcastReceiver::received()
{
    // Messages sent from other threads are handled in the order they arrive, so once this one is
    // answered every broadcast that reached the window before it has been recorded.
    if (window_)
        SendMessageW(window_, kSyncMessage, 0, 0);
    EnterCriticalSection(&lock_);
    std::vector<SettingChange> copy = changes_;
    LeaveCriticalSection(&lock_);
    return copy;
}

void BroadcastReceiver::clear()
{
    received();
    EnterCriticalSection(&lock_);
    changes_.clear();
    LeaveCriticalSection(&lock_);
}

DWORD WINAPI BroadcastReceiver::thread_main(void* self)
{
    auto* receiver = static_cast<BroadcastReceiver*>(self);
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = &BroadcastReceiver::window_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kWindowClass;
    RegisterClassW(&window_class); // fails harmlessly when an earlier receiver registered it
    // A top-level window (not message-only): HWND_BROADCAST reaches top-level windows only.
    HWND window = CreateWindowExW(0, kWindowClass, L"broadcast receiver", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                  nullptr, nullptr, window_class.hInstance, receiver);
    receiver->window_ = window;
    SetEvent(receiver->started_);
    if (!window)
        return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

LRESULT CALLBACK BroadcastReceiver::window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* receiver = reinterpret_cast<BroadcastReceiver*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_SETTINGCHANGE:
        if (receiver) {
            SettingChange change = {wparam,
                                    lparam ? std::wstring(reinterpret_cast<const wchar_t*>(lparam))
                                           : std::wstring(L"(null)"),
                                    receiver->snapshot_ ? receiver->snapshot_() : std::wstring()};
            EnterCriticalSection(&receiver->lock_);
            receiver->changes_.push_back(change);
            LeaveCriticalSection(&receiver->lock_);
        }
        return 0;
    case kSyncMessage:
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

} // namespace testsupport
