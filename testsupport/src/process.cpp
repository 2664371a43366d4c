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

DWORD run_and_capture(const std::wstring& command_line, std::string& output, DWORD timeout_ms)
{
    output.clear();
    wchar_t directory[MAX_PATH + 1];
    wchar_t file_name[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, directory);
    if (!GetTempFileNameW(directory, L"out", 0, file_name))
        return kNoExitCode;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE file = CreateFileW(file_name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kNoExitCode;
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION process = {};
    DWORD exit_code = kNoExitCode;
    if (CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        exit_code = wait_for_exit(process, timeout_ms);
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
            output.append(chunk, got);
    }
    CloseHandle(file);
    return exit_code;
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
