// Receiving the environment-change broadcast as a desktop program would: a real hidden top-level
// window on its own thread with a message loop, recording every WM_SETTINGCHANGE it is sent.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct SettingChange {
    WPARAM wparam;
    std::wstring area;     // the text lParam pointed at; "(null)" for a null lParam
    std::wstring snapshot; // what the receiver's snapshot function returned when it arrived
};

class BroadcastReceiver {
public:
    // `snapshot`, when given, runs on the receiver's thread as each change arrives, so a test can
    // see the state the sender had reached (for instance which registry values existed).
    explicit BroadcastReceiver(std::function<std::wstring()> snapshot = nullptr);
    ~BroadcastReceiver();
    BroadcastReceiver(const BroadcastReceiver&) = delete;
    BroadcastReceiver& operator=(const BroadcastReceiver&) = delete;

    // True when the window exists and its thread is pumping messages.
    bool ready() const { return window_ != nullptr; }

    // Waits until the window has handled every message sent to it before this call (a synchronous
    // round trip through its queue), then returns what it recorded so far.
    std::vector<SettingChange> received();

    void clear();

private:
    static DWORD WINAPI thread_main(void* self);
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    std::function<std::wstring()> snapshot_;
    HANDLE thread_ = nullptr;
    HANDLE started_ = nullptr;
    HWND window_ = nullptr;
    CRITICAL_SECTION lock_;
    std::vector<SettingChange> changes_;
};

} // namespace testsupport
