// Starting and stopping real child processes: each test runs its own copy of launch_child.exe under
// a name no other process has, and ends every copy it started, whatever the outcome.
#include "setupkit/launching.h"

#include "testsupport/files.h"
#include "testsupport/process.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <string>
#include <thread>
#include <vector>

using testsupport::TempDir;
using testsupport::file_exists;
using testsupport::narrow;
using testsupport::process_ids_named;

namespace {

template <typename Done>
bool poll_until(DWORD timeout_ms, Done done)
{
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (!done()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
    return true;
}

DWORD exit_code_of(HANDLE process)
{
    DWORD exit_code = testsupport::kNoExitCode;
    GetExitCodeProcess(process, &exit_code);
    return exit_code;
}

class Launching : public ::testing::Test {
protected:
    void SetUp() override
    {
        static unsigned sequence = 0;
        token_ = L"lchild" + std::to_wstring(GetCurrentProcessId()) + L"x" + std::to_wstring(++sequence);
        child_name_ = token_ + L"_run.exe";
        names_.push_back(child_name_);
        child_ = temp_ / child_name_;
        ASSERT_TRUE(testsupport::copy_file(testsupport::own_directory() + L"launch_child.exe", child_))
            << narrow(child_) << ", error " << GetLastError();
        // An inheritable event: a child that inherited handles can set it through its value.
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        event_ = CreateEventW(&inherit, TRUE, FALSE, nullptr);
        ASSERT_NE(nullptr, event_) << "error " << GetLastError();
    }

    void TearDown() override
    {
        for (const std::wstring& name : names_) {
            for (DWORD id : process_ids_named(name)) {
                HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
                if (!process)
                    continue;
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
        if (event_)
            CloseHandle(event_);
    }

    // The child's command line: REPORT SLEEP EXIT EVENT.
    std::wstring child_command(const std::wstring& report, const std::wstring& sleep, unsigned exit_code) const
    {
        return L"\"" + child_ + L"\" " + child_arguments(report, sleep, exit_code);
    }

    std::wstring child_arguments(const std::wstring& report, const std::wstring& sleep, unsigned exit_code) const
    {
        return L"\"" + report + L"\" " + sleep + L" " + std::to_wstring(exit_code) + L" " +
               std::to_wstring(reinterpret_cast<ULONG_PTR>(event_));
    }

    // A copy of the child under another name, ended after the test.
    std::wstring copy_child(const std::wstring& name)
    {
        names_.push_back(name);
        const std::wstring path = temp_ / name;
        EXPECT_TRUE(testsupport::copy_file(child_, path)) << narrow(path) << ", error " << GetLastError();
        return path;
    }

    // After a starter returned: the report the child writes once it slept shows whether the starter
    // waited at least `waited_ms` for it (0: it did not wait), the show command it was given and whether it
    // inherited the handles.
    void expect_child(const std::wstring& report, ULONGLONG started, ULONGLONG waited_ms, unsigned show, bool inherits)
    {
        const ULONGLONG elapsed = GetTickCount64() - started;
        EXPECT_EQ(waited_ms > 0, file_exists(report)) << "returned after " << elapsed << " ms";
        EXPECT_GE(elapsed, waited_ms);
        ASSERT_TRUE(poll_until(15000, [&] { return file_exists(report); })) << "the child never wrote " << narrow(report);
        EXPECT_EQ("flags=" + std::to_string(STARTF_USESHOWWINDOW) + " show=" + std::to_string(show) +
                      " event=" + (inherits ? "1" : "0"),
                  testsupport::read_bytes(report));
        EXPECT_EQ(inherits, WaitForSingleObject(event_, 0) == WAIT_OBJECT_0)
            << "whether the child inherited the caller's handles (and set the event)";
    }

    TempDir temp_;
    std::wstring token_;
    std::wstring child_name_;
    std::wstring child_;
    std::vector<std::wstring> names_; // the child's and its copies'
    HANDLE event_ = nullptr;
};

} // namespace

TEST_F(Launching, TerminateByNameEndsOthersWhoseFileNameHoldsTheTextInItsCaseButNeverTheCaller)
{
    // The caller runs in a copy of the child whose name holds the text too, so that ending itself would
    // show as exit code 0 instead of ending this test program. Nothing matching is no failure.
    const std::wstring caller = copy_child(token_ + L"_caller.exe");
    std::wstring command = child_command(L"-", L"forever", 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION peer = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &peer))
        << narrow(child_) << ", error " << GetLastError();
    std::wstring upper = token_;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return static_cast<wchar_t>(towupper(c)); });
    // The token is a part of the file name "<token>_run.exe"; in upper case it is not.
    for (const std::wstring& text : {upper, token_}) {
        const bool matches = text == token_;
        SCOPED_TRACE(narrow(text) + " against " + narrow(child_name_));
        const std::wstring report = temp_ / (matches ? L"terminate.txt" : L"upper.txt");
        const testsupport::RunOptions options{testsupport::As::Administrator, false, nullptr, 20000};
        EXPECT_EQ(42u, testsupport::run_program(L"\"" + caller + L"\" terminate " + text + L" \"" + report + L"\"",
                                                options))
            << "the caller itself was ended";
        EXPECT_EQ("result=1", testsupport::read_bytes(report));
        EXPECT_EQ(matches ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT),
                  WaitForSingleObject(peer.hProcess, matches ? 5000 : 300))
            << "whether the peer ended";
    }
    EXPECT_EQ(0u, exit_code_of(peer.hProcess));
    CloseHandle(peer.hThread);
    CloseHandle(peer.hProcess);
}

TEST_F(Launching, BoundedRunWaitsPollingOncePerSecondUnlessFlagOneOrTheProgramIsMissing)
{
    // Handles are not inherited, and the child sees the caller's show command. A 1.5 s child is polled
    // at 0, 1 and 2 s, and the poll that finds the child ended still sleeps its second, so a child that
    // ends at once still costs the one second. Any flag other than 1 means wait.
    const std::wstring missing = temp_ / L"missing.exe";
    const struct {
        const wchar_t* application;
        const wchar_t* sleep;
        unsigned show;
        int flag;
        ULONGLONG least_ms; // 0: returns before the child ends
        ULONGLONG most_ms;
    } rows[] = {
        {child_.c_str(), L"1500", SW_SHOWMINNOACTIVE, 0, 2000, 8000},
        {nullptr, L"0", SW_HIDE, 2, 1000, 8000},
        {nullptr, L"1500", SW_HIDE, 1, 0, 900},
        {missing.c_str(), nullptr, SW_HIDE, 0, 0, 900},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("flag " + std::to_string(row.flag) + (row.sleep ? "" : ", missing program"));
        const std::wstring report = temp_ / (L"bounded" + std::to_wstring(row.flag) + L".txt");
        std::wstring command = row.sleep ? child_command(report, row.sleep, 3) : L"\"" + missing + L"\"";
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(0, run_and_wait_bounded(row.application, command.data(), row.show, row.flag));
        EXPECT_LT(GetTickCount64() - start, row.most_ms);
        if (row.sleep)
            expect_child(report, start, row.least_ms, row.show, false);
    }
}

// The one slow case: 30 polls take 30 seconds. Two children share them, on two threads.
TEST_F(Launching, BoundedRunTerminatesChildStillActiveAtTheThirtiethPoll)
{
    const std::wstring looks_active = copy_child(token_ + L"_259.exe");
    const std::wstring looks_active_report = temp_ / L"259.txt";
    std::wstring never_ends = child_command(L"-", L"forever", 0);
    std::wstring exits_259 = L"\"" + looks_active + L"\" " + child_arguments(looks_active_report, L"0", 259);

    ULONGLONG never_ends_elapsed = 0;
    ULONGLONG exits_259_elapsed = 0;
    const auto timed_run = [](std::wstring& command, ULONGLONG& elapsed) {
        return std::thread([&command, &elapsed] {
            const ULONGLONG start = GetTickCount64();
            run_and_wait_bounded(nullptr, command.data(), SW_HIDE, 0);
            elapsed = GetTickCount64() - start;
        });
    };
    std::thread never_ends_run = timed_run(never_ends, never_ends_elapsed);
    std::thread exits_259_run = timed_run(exits_259, exits_259_elapsed);
    HANDLE child = nullptr;
    poll_until(5000, [&] {
        const std::vector<DWORD> ids = process_ids_named(child_name_);
        child = ids.empty() ? nullptr : OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, ids.front());
        return child != nullptr;
    });
    never_ends_run.join();
    exits_259_run.join();

    ASSERT_NE(nullptr, child) << narrow(child_name_) << " was not seen running";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 5000)) << "the child that never ends was not terminated";
    EXPECT_EQ(0u, exit_code_of(child)) << "terminated with exit code 0";
    CloseHandle(child);
    // The other child ended at once, but its exit code is STILL_ACTIVE's value.
    EXPECT_TRUE(file_exists(looks_active_report));
    for (const ULONGLONG elapsed : {never_ends_elapsed, exits_259_elapsed}) {
        EXPECT_GE(elapsed, 29500u);
        EXPECT_LT(elapsed, 40000u);
    }
}

namespace {

// Counts and closes this process's visible message boxes. A named callback: a lambda does not
// convert to the stdcall pointer that 32-bit EnumWindows takes.
BOOL CALLBACK close_own_message_box(HWND window, LPARAM counter)
{
    DWORD owner = 0;
    wchar_t class_name[16] = {};
    GetWindowThreadProcessId(window, &owner);
    GetClassNameW(window, class_name, 16);
    if (owner == GetCurrentProcessId() && wcscmp(class_name, L"#32770") == 0 && IsWindowVisible(window)) {
        ++*reinterpret_cast<std::atomic<int>*>(counter);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

} // namespace

TEST_F(Launching, ShellOperationsFailForMissingFileAfterTheShellsErrorBox)
{
    // Neither operation asks the shell to keep quiet (SEE_MASK_FLAG_NO_UI), so the shell reports the
    // missing file in a box of its own before it returns false; a watcher counts and closes those boxes.
    std::atomic<bool> stop{false};
    std::atomic<int> boxes{0};
    std::thread watcher([&] {
        while (!stop) {
            EnumWindows(close_own_message_box, reinterpret_cast<LPARAM>(&boxes));
            Sleep(50);
        }
    });
    const std::wstring missing = temp_ / L"missing.exe";
    const bool run_result = shell_run_and_wait(missing.c_str(), nullptr, SW_HIDE);
    const bool open_result = shell_open(missing.c_str(), nullptr, SW_HIDE);
    stop = true;
    watcher.join();
    EXPECT_FALSE(run_result);
    EXPECT_FALSE(open_result);
    EXPECT_GE(boxes.load(), 1) << "no error box was shown";
}

// The starters given a command line run the child hidden with the caller's handles; the shell's
// pass on their show command and no handles.
TEST_F(Launching, StartersWaitForTheChildOrNotPassingTheirShowCommandAndHandles)
{
    const struct {
        const wchar_t* name;
        bool (*shell)(const wchar_t*, const wchar_t*, unsigned short); // null: `run` takes the command line
        void (*run)(wchar_t*);
        ULONGLONG sleep_ms;
        unsigned short show;
        bool waits;
        bool inherits;
    } rows[] = {
        {L"shell_run_and_wait", shell_run_and_wait, nullptr, 1500, SW_SHOWMINNOACTIVE, true, false},
        {L"shell_open", shell_open, nullptr, 2000, SW_SHOWNORMAL, false, false},
        {L"run_hidden_and_wait", nullptr, run_hidden_and_wait, 1000, SW_HIDE, true, true},
        {L"run_detached", nullptr, run_detached, 2000, SW_HIDE, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(narrow(row.name));
        ResetEvent(event_);
        const std::wstring report = temp_ / (row.name + std::wstring(L".txt"));
        const std::wstring arguments = child_arguments(report, std::to_wstring(row.sleep_ms), 5);
        std::wstring command = child_command(report, std::to_wstring(row.sleep_ms), 5);
        const ULONGLONG start = GetTickCount64();
        if (row.shell)
            EXPECT_TRUE(row.shell(child_.c_str(), arguments.c_str(), row.show)) << "error " << GetLastError();
        else
            row.run(command.data());
        expect_child(report, start, row.waits ? row.sleep_ms : 0, row.show, row.inherits);
    }
}
