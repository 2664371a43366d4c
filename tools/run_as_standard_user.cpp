// Runs a program as a standard user would: under the caller's token with BUILTIN\Administrators
// made deny-only, waits for it and exits with its exit status. Lets the demonstration show the
// user-scope behaviour of the programs under a token that really is not an administrator's.
//   run_as_standard_user.exe PROGRAM [ARGUMENTS...]
// Exit status: the program's, or 126 when it could not be started.
#include "testsupport/process.h"

#include <windows.h>

#include <cstdio>
#include <string>

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
    if (argc < 2 || argv[1][0] == L'\0') {
        fputs("usage: run_as_standard_user PROGRAM [ARGUMENTS...]\n", stderr);
        return kCannotStart;
    }
    std::wstring command_line;
    for (int i = 1; i < argc; ++i)
        append_quoted(command_line, argv[i]);
    testsupport::RunOptions options;
    options.as = testsupport::As::StandardUser;
    options.timeout_ms = INFINITE;
    const DWORD status = testsupport::run_program(command_line, options);
    if (status != testsupport::kNoExitCode)
        return static_cast<int>(status);
    fprintf(stderr, "run_as_standard_user: cannot start %ls as a standard user: error %lu\n", argv[1],
            static_cast<unsigned long>(GetLastError()));
    return kCannotStart;
}
