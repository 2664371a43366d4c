#include "testsupport/process.h"

#include <vector>

namespace testsupport {

namespace {

DWORD wait_for_exit(PROCESS_INFORMATION& process, DWORD timeout_ms)
{
    DWORD exit_code = kNoExitCode;
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exit_code);
    else
        TerminateProcess(process.hProcess, kNoExitCode);
    CloseHandle(process.hProcess);
    return exit_code;
}

} // namespace

DWORD run_and_wait(const std::wstring& command_line, DWORD timeout_ms)
{
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return kNoExitCode;
    return wait_for_exit(process, timeout_ms);
}

DWORD run_and_wait_as(HANDLE token, const std::wstring& command_line, DWORD timeout_ms)
{
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessAsUserW(token, nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process))
        return kNoExitCode;
    return wait_for_exit(process, timeout_ms);
}

} // namespace testsupport
