// A DLL planted beside an elevated program under the name of one it loads runs with its rights. The
// programs restrict their search first thing, so no plant under a name they load after start may run.
// Wine prefers its builtin DLLs to a file beside the program: native-first overrides for the planted
// names stand in for Windows' search. What the imports pull in at start is the load configuration's
// concern (deliverables_test reads it), which Wine 8 does not honour.
#include "testsupport/installed_suite.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using testsupport::listed;
using testsupport::narrow;

namespace {

// The shipped programs, then postinstall as a test build without the restriction (false).
const std::pair<const wchar_t*, bool> kPrograms[] = {
    {L"postinstall.exe", true}, {L"preuninstall.exe", true}, {L"setupcheck.exe", true},
    {L"postinstall_unrestricted.exe", false}};
const wchar_t kFolderName[] = L"Planting Test";

// Adds the file names (lower case) of the DLLs that the command's process loads after the loader's
// breakpoint, which Windows and Wine raise in a debugged process once its imports are loaded.
void add_dlls_loaded_after_start(std::wstring command, std::vector<std::wstring>& names)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES; // with none: setupcheck's report is not wanted here
    PROCESS_INFORMATION process = {};
    DEBUG_EVENT event = {};
    bool started = false;
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                        &startup, &process))
        return;
    while (WaitForDebugEvent(&event, 60000) && event.dwDebugEventCode != EXIT_PROCESS_DEBUG_EVENT) {
        const DWORD code = event.dwDebugEventCode;
        const bool breakpoint = code == EXCEPTION_DEBUG_EVENT &&
                                event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT;
        started = started || breakpoint;
        wchar_t path[MAX_PATH * 2] = L"";
        HANDLE file = code == LOAD_DLL_DEBUG_EVENT ? event.u.LoadDll.hFile
                      : code == CREATE_PROCESS_DEBUG_EVENT ? event.u.CreateProcessInfo.hFile : nullptr;
        if (code == LOAD_DLL_DEBUG_EVENT && started && GetFinalPathNameByHandleW(file, path, MAX_PATH * 2, 0)) {
            std::wstring name = wcsrchr(path, L'\\') + 1;
            std::transform(name.begin(), name.end(), name.begin(), towlower);
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        }
        if (file)
            CloseHandle(file);
        const bool other_exception = code == EXCEPTION_DEBUG_EVENT && !breakpoint;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId,
                           other_exception ? DBG_EXCEPTION_NOT_HANDLED : DBG_CONTINUE);
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace

TEST(DllPlanting, NoDllPlantedUnderALoadedNameRunsUnlessTheSearchIsLeftOpen)
{
    const testsupport::RegistrationSnapshot before;
    std::vector<std::wstring> names;
    for (const auto& [program, restricted] : kPrograms) {
        testsupport::TempDir root;
        testsupport::write_release_information(root.path(), narrow(kFolderName), "r1");
        if (restricted && testsupport::place_programs(root.path(), {program}))
            add_dlls_loaded_after_start(testsupport::program_command(root.path(), program), names);
    }
    testsupport::forget_suite_registration({kFolderName});
    ASSERT_FALSE(names.empty()) << "no program loaded a DLL after start: nothing to plant";

    for (const auto& [program, restricted] : kPrograms) {
        SCOPED_TRACE(narrow(program));
        testsupport::forget_suite_registration({kFolderName});
        testsupport::TempDir root;
        ASSERT_TRUE(testsupport::write_release_information(root.path(), narrow(kFolderName), "r1"));
        ASSERT_TRUE(testsupport::place_programs(root.path(), {program}));
        // Native first, for this program only: a child under Wine does not take WINEDLLOVERRIDES
        // from its parent's environment, but reads this key at its start.
        const std::wstring overrides_key = std::wstring(L"Software\\Wine\\AppDefaults\\") + program;
        const std::wstring setup = root.path() + testsupport::kSetupBelowRoot;
        for (const std::wstring& name : names) {
            const wchar_t native_first[] = L"native,builtin";
            ASSERT_TRUE(testsupport::copy_file(testsupport::own_directory() + L"planted_dll.dll", setup + name));
            ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, (overrides_key + L"\\DllOverrides").c_str(),
                                                     name.substr(0, name.size() - 4).c_str(), REG_SZ, native_first,
                                                     sizeof(native_first)));
        }
        std::string output;
        testsupport::run_program(testsupport::program_command(root.path(), program),
                                 {testsupport::As::Administrator, false, &output});
        RegDeleteTreeW(HKEY_CURRENT_USER, overrides_key.c_str());
        testsupport::forget_suite_registration({kFolderName});

        std::vector<std::wstring> ran;
        std::copy_if(names.begin(), names.end(), std::back_inserter(ran),
                     [&](const std::wstring& name) { return testsupport::file_exists(setup + name + L".ran"); });
        EXPECT_EQ(restricted, ran.empty()) << "ran:" << listed(ran) << "planted:" << listed(names);
    }
    testsupport::expect_same(before, testsupport::RegistrationSnapshot(), "after the plants");
}
