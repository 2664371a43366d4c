#include "testsupport/process.h"

#include "testsupport/files.h"
#include "testsupport/standard_user.h"

#include <tlhelp32.h>

#include <vector>

namespace testsupport {

namespace {

// Waits for the process and, when asked, for everything else in its job; true when all ended in time.
bool wait_for_end(HANDLE process, HANDLE job, bool descendants, DWORD timeout_ms)
{
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    if (WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0)
        return false;
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    while (descendants) {
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof(accounting),
                                       nullptr))
            return false;
        if (accounting.ActiveProcesses == 0)
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
    return true;
}

} // namespace

DWORD run_program(const std::wstring& command_line, const RunOptions& options)
{
    DWORD exit_code = kNoExitCode;
    DWORD error = ERROR_SUCCESS;
    HANDLE token = nullptr;
    HANDLE job = nullptr;
    HANDLE output = nullptr;
    wchar_t output_name[MAX_PATH + 1] = L"";
    wchar_t temp[MAX_PATH + 1] = L"";
    PROCESS_INFORMATION process = {};
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring writable = command_line; // CreateProcessW may write into it
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    BOOL started = FALSE;
    bool ended = false;

    if (options.as == As::StandardUser && !(token = create_standard_user_token()))
        goto cleanup;
    // Suspended until it is in the job, so that nothing it starts can escape the job.
    if (!(job = CreateJobObjectW(nullptr, nullptr)))
        goto cleanup;
    // A plain file rather than a pipe: nothing to drain while the program runs.
    if (options.output && GetTempPathW(MAX_PATH + 1, temp) && GetTempFileNameW(temp, L"out", 0, output_name)) {
        output = CreateFileW(output_name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    if (options.output && (output == nullptr || output == INVALID_HANDLE_VALUE))
        goto cleanup;
    if (token)
        started = CreateProcessAsUserW(token, nullptr, &writable[0], nullptr, nullptr, options.output != nullptr,
                                       CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    else
        started = CreateProcessW(nullptr, &writable[0], nullptr, nullptr, options.output != nullptr,
                                 CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    if (!started)
        process = {};
    if (!started || !AssignProcessToJobObject(job, process.hProcess))
        goto cleanup;
    ResumeThread(process.hThread);
    ended = wait_for_end(process.hProcess, job, options.wait_for_descendants, options.timeout_ms);
    if (ended && !GetExitCodeProcess(process.hProcess, &exit_code))
        exit_code = kNoExitCode;

cleanup:
    error = GetLastError();
    // What did not end in time is ended; what a program that ended left running stays.
    if (job && !ended)
        TerminateJobObject(job, kNoExitCode);
    for (HANDLE handle : {job, process.hThread, process.hProcess, token, output}) {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    if (output_name[0]) {
        *options.output = read_bytes(output_name);
        DeleteFileW(output_name);
    }
    SetLastError(error);
    return exit_code;
}

std::vector<DWORD> process_ids_named(const std::wstring& exe_name)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exe_name.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

} // namespace testsupport
