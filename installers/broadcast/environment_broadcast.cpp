// A custom action for an MSI package (a DLL in the Binary table): tells the desktop that the
// environment changed. Scheduled as an immediate action after InstallFinalize, it runs with the
// installing user's credentials rather than in the system context of the deferred actions that
// ran postinstall or preuninstall, whose own broadcasts may not reach the user's desktop.
#include <windows.h>

#include <msi.h>

namespace {

// Per window. SMTO_ABORTIFHUNG skips a hung window at once, so only windows that answer slowly can
// hold up the end of the installation, each at most this long.
constexpr UINT kTimeoutPerWindowMs = 1000;

} // namespace

// The installation handle is not used: the action reads no property and logs nothing, so the DLL
// imports nothing from msi.dll.
extern "C" UINT __stdcall BroadcastEnvironmentChange(MSIHANDLE)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                        SMTO_ABORTIFHUNG, kTimeoutPerWindowMs, &ignored);
    // The installation is committed by now: a broadcast that did not get through must not report it
    // as failed.
    return ERROR_SUCCESS;
}
