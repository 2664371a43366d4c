// Starting programs for tests and collecting their exit status.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

constexpr DWORD kNoExitCode = 0xDEADBEEF;

// Runs the command line to its end (up to timeout_ms) and returns its exit code, or kNoExitCode
// when it could not be started or did not end in time (it is then terminated).
DWORD run_and_wait(const std::wstring& command_line, DWORD timeout_ms = 60000);

// The same, with the program's standard output collected into `output` (its raw bytes).
DWORD run_and_capture(const std::wstring& command_line, std::string& output, DWORD timeout_ms = 60000);

// The same, with a primary token (for example a standard user's) instead of the caller's.
DWORD run_and_wait_as(HANDLE token, const std::wstring& command_line, DWORD timeout_ms = 60000);

// The same (under the caller's token when `token` is null), but waits until every process the
// program started, directly or not, has ended too: an uninstaller may hand its work to a copy of
// itself and return at once. What is still running at the timeout is terminated.
DWORD run_and_wait_for_all(HANDLE token, const std::wstring& command_line, DWORD timeout_ms = 60000);

} // namespace testsupport
