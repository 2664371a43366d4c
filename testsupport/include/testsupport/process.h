// Starting programs for tests and tools, as an administrator or as a standard user, and collecting
// their exit status.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

constexpr DWORD kNoExitCode = 0xDEADBEEF;

// Whose token a program runs under: the caller's own (in the test prefix, an administrator's), or a
// standard user's (the caller's with BUILTIN\Administrators deny-only).
enum class As { Administrator, StandardUser };

// Names the cases of a test suite instantiated with both accounts.
struct AccountName {
    template <class ParamInfo>
    std::string operator()(const ParamInfo& info) const
    {
        return info.param == As::StandardUser ? "StandardUser" : "Administrator";
    }
};

struct RunOptions {
    As as = As::Administrator;
    // Wait until every process the program started, directly or not, has ended too: an uninstaller
    // may hand its work to a copy of itself and return at once.
    bool wait_for_descendants = false;
    // When set, receives the program's standard output and error (their raw bytes).
    std::string* output = nullptr;
    DWORD timeout_ms = 60000;
};

// Runs the command line to its end and returns its exit code, or kNoExitCode when it could not be
// started or did not end in time (what still runs is then terminated); GetLastError then tells why.
DWORD run_program(const std::wstring& command_line, const RunOptions& options = RunOptions());

// The ids of the running processes whose file name is exe_name (case-insensitive).
std::vector<DWORD> process_ids_named(const std::wstring& exe_name);

} // namespace testsupport
