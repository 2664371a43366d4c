// Runs a program as a standard user would: under the caller's token with BUILTIN\Administrators
// made deny-only, waits for it and exits with its exit status. Lets the demonstration show the
// user-scope behaviour of the programs under a token that really is not an administrator's.
//   run_as_standard_user.exe PROGRAM [ARGUMENTS...]
// Exit status: the program's, or 126 when it could not be started.
#include "testsupport/standard_user.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kCannotStart = 126;

// Appends one argument quoted so that CommandLineToArgvW and the C runtime read it back unchanged:
// backslashes are doubled only where they precede a quotation mark.
void append_quoted(std::wstring& command_line, const std::wstring& argument)
{
    if (!command_line.empty())
        command_line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        command_line += argument;
        return;
    }
    command_line += L'"';
    size_t backslashes = 0;
    for (const wchar_t character : argument) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        command_line.append(character == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        command_line += character;
    }
    command_line.append(backslashes * 2, L'\\');
    command_line += L'"';
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int status = kCannotStart;
    HANDLE token = nullptr;
    PROCESS_INFORMATION process = {};
    STARTUPINFOW startup = {};
    std::wstring command_line;
    std::vector<wchar_t> writable;
    DWORD exit_code = 0;

    if (argc < 2 || argv[1][0] == L'\0') {
        fputs("usage: run_as_standard_user PROGRAM [ARGUMENTS...]\n", stderr);
        goto cleanup;
    }
    token = testsupport::create_standard_user_token();
    if (!token) {
        fprintf(stderr, "run_as_standard_user: cannot create a standard user's token: error %lu\n",
                static_cast<unsigned long>(GetLastError()));
        goto cleanup;
    }
    for (int i = 1; i < argc; ++i)
        append_quoted(command_line, argv[i]);
    writable.assign(command_line.begin(), command_line.end());
    writable.push_back(L'\0');
    startup.cb = sizeof(startup);
    if (!CreateProcessAsUserW(token, nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process)) {
        fprintf(stderr, "run_as_standard_user: cannot start %ls: error %lu\n", argv[1],
                static_cast<unsigned long>(GetLastError()));
        process.hProcess = nullptr;
        process.hThread = nullptr;
        goto cleanup;
    }
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &exit_code)) {
        fprintf(stderr, "run_as_standard_user: cannot wait for %ls: error %lu\n", argv[1],
                static_cast<unsigned long>(GetLastError()));
        goto cleanup;
    }
    status = static_cast<int>(exit_code);

cleanup:
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (token)
        CloseHandle(token);
    return status;
}
