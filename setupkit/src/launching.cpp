#include "setupkit/launching.h"

#include "record_sizes.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cwchar>

ASSERT_32BIT_SIZE(sizeof(STARTUPINFOW), 68);
ASSERT_32BIT_SIZE(sizeof(SHELLEXECUTEINFOW), 60);
ASSERT_32BIT_SIZE(sizeof(PROCESSENTRY32W), 556);

namespace {

// PROCESS_ALL_ACCESS as the headers before Vista define it: older systems refuse the larger value.
constexpr DWORD kProcessAllAccessXp = 0x1F0FFF;

constexpr int kMaxPolls = 30;
constexpr DWORD kPollIntervalMs = 1000;

void fill_startup_info(STARTUPINFOW& startup, unsigned short show_command)
{
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show_command;
}

bool shell_execute(const wchar_t* verb, ULONG mask, const wchar_t* file, const wchar_t* parameters,
                   unsigned short show_command, HANDLE* process)
{
    SHELLEXECUTEINFOW execute;
    ZeroMemory(&execute, sizeof(execute));
    execute.cbSize = sizeof(execute);
    execute.fMask = mask;
    execute.lpVerb = verb;
    execute.lpFile = file;
    execute.lpParameters = parameters;
    execute.nShow = show_command;
    const bool started = ShellExecuteExW(&execute) != FALSE;
    *process = started ? execute.hProcess : nullptr;
    return started;
}

// Starts the command line hidden with inherited handles. On success both handles in *process
// are the caller's to close; false when the process could not be created.
bool start_hidden(wchar_t* command_line, DWORD creation_flags, PROCESS_INFORMATION* process)
{
    STARTUPINFOW startup;
    fill_startup_info(startup, SW_HIDE);
    ZeroMemory(process, sizeof(*process));
    return CreateProcessW(nullptr, command_line, nullptr, nullptr, TRUE, creation_flags, nullptr, nullptr, &startup,
                          process) != FALSE;
}

} // namespace

int terminate_processes_by_name(const wchar_t* text)
{
    int result = 1;
    const DWORD own_id = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;

    PROCESSENTRY32W entry;
    ZeroMemory(&entry, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == own_id)
            continue;
        if (!wcsstr(entry.szExeFile, text))
            continue;
        HANDLE process = OpenProcess(kProcessAllAccessXp, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        // One failure makes the result 0 for good.
        result *= TerminateProcess(process, 0) ? 1 : 0;
        CloseHandle(process);
    }

    CloseHandle(snapshot);
    return result;
}

int run_and_wait_bounded(const wchar_t* application_name, wchar_t* command_line, unsigned short show_command,
                         int no_wait)
{
    // An empty desktop name, not none: the child then connects to a window station and desktop
    // by the system's usual rules rather than simply inheriting the caller's.
    wchar_t default_desktop[] = L"";
    STARTUPINFOW startup;
    fill_startup_info(startup, show_command);
    startup.lpDesktop = default_desktop;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(application_name, command_line, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process))
        return 0;

    if (no_wait != 1) {
        // The sleep follows every read, so even a child that has already ended costs one interval.
        // An exit code of STILL_ACTIVE cannot be told from a running child.
        for (int polls = 1;; ++polls) {
            DWORD exit_code = 0;
            if (!GetExitCodeProcess(process.hProcess, &exit_code))
                exit_code = 0;
            Sleep(kPollIntervalMs);
            if (polls >= kMaxPolls) {
                TerminateProcess(process.hProcess, 0);
                break;
            }
            if (exit_code != STILL_ACTIVE)
                break;
        }
    }

    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
}

bool shell_run_and_wait(const wchar_t* file, const wchar_t* parameters, unsigned short show_command)
{
    HANDLE process = nullptr;
    const bool started = shell_execute(nullptr, SEE_MASK_NOCLOSEPROCESS, file, parameters, show_command, &process);
    // A document handed to a program that was already running starts no new process.
    if (process) {
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
    }
    return started;
}

bool shell_open(const wchar_t* file, const wchar_t* parameters, unsigned short show_command)
{
    HANDLE process = nullptr;
    const bool started = shell_execute(L"open", 0, file, parameters, show_command, &process);
    // Not asked for, so not expected; closed should a shell hand one back all the same.
    if (process)
        CloseHandle(process);
    return started;
}

void run_hidden_and_wait(wchar_t* command_line)
{
    PROCESS_INFORMATION process;
    if (!start_hidden(command_line, 0, &process))
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void run_detached(wchar_t* command_line)
{
    PROCESS_INFORMATION process;
    if (!start_hidden(command_line, CREATE_NEW_PROCESS_GROUP, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
