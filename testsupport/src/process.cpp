#include "testsupport/process.h"

#include "testsupport/files.h"

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
    HANDLE file = CreateFileW(file_name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr);
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION process = {};
    DWORD exit_code = kNoExitCode;
    if (file != INVALID_HANDLE_VALUE &&
        CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        exit_code = wait_for_exit(process, timeout_ms);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    output = read_bytes(file_name);
    DeleteFileW(file_name);
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

DWORD run_and_wait_for_all(HANDLE token, const std::wstring& command_line, DWORD timeout_ms)
{
    DWORD exit_code = kNoExitCode;
    HANDLE job = nullptr;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    BOOL started = FALSE;

    job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        goto cleanup;
    // Suspended until it is in the job, so that nothing it starts can escape the job.
    if (token)
        started = CreateProcessAsUserW(token, nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                       nullptr, nullptr, &startup, &process);
    else
        started = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                 nullptr, &startup, &process);
    if (!started) {
        process.hProcess = nullptr;
        process.hThread = nullptr;
        goto cleanup;
    }
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        TerminateProcess(process.hProcess, kNoExitCode);
        goto cleanup;
    }
    ResumeThread(process.hThread);
    if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &exit_code)) {
        exit_code = kNoExitCode;
        goto cleanup;
    }
    for (;;) {
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof(accounting),
                                       nullptr) ||
            (accounting.ActiveProcesses > 0 && GetTickCount64() >= deadline)) {
            exit_code = kNoExitCode;
            break;
        }
        if (accounting.ActiveProcesses == 0)
            break;
        Sleep(50);
    }

cleanup:
    if (job) {
        TerminateJobObject(job, kNoExitCode);
        CloseHandle(job);
    }
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    return exit_code;
}

} // namespace testsupport
