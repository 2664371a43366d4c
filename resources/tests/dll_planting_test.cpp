// A DLL planted beside an elevated program under the name of a DLL it loads runs with the program's
// rights. The programs restrict their DLL search first thing: a plant under the name of every DLL a
// program loads after start must not run. Wine, unlike Windows, prefers its own builtin DLLs to a
// file found beside the program; the test asks for native DLLs first for the planted names, which
// stands in for Windows' search. What the program's imports pull in at start is the load
// configuration's concern (deliverables_test reads it), which Wine's loader does not honour.
#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/suite.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using testsupport::listed;
using testsupport::narrow;

namespace {

// The DLLs the command's process loads after the loader's start-up breakpoint, which Windows and
// Wine raise for a debugged process once its imports are loaded: their file names, lower case.
std::vector<std::wstring> dlls_loaded_after_start(std::wstring command)
{
    std::vector<std::wstring> names;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES; // and none: what the program reports is not wanted here
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                        &startup, &process))
        return names;
    bool started = false;
    DEBUG_EVENT event = {};
    while (WaitForDebugEvent(&event, 60000)) {
        DWORD status = DBG_CONTINUE;
        if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
            if (event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT)
                started = true;
            else
                status = DBG_EXCEPTION_NOT_HANDLED;
        } else if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            CloseHandle(event.u.CreateProcessInfo.hFile);
        } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile) {
            wchar_t path[MAX_PATH * 2] = L"";
            if (started && GetFinalPathNameByHandleW(event.u.LoadDll.hFile, path, MAX_PATH * 2, 0) > 0) {
                std::wstring name = wcsrchr(path, L'\\') ? wcsrchr(path, L'\\') + 1 : path;
                std::transform(name.begin(), name.end(), name.begin(), towlower);
                names.push_back(name);
            }
            CloseHandle(event.u.LoadDll.hFile);
        }
        const bool ended = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (ended)
            break;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return names;
}

// The programs as shipped, and postinstall as a test build without the restriction.
struct Planting {
    const wchar_t* program;
    bool restricted;
};

const Planting kPlantings[] = {
    {L"postinstall.exe", true},
    {L"preuninstall.exe", true},
    {L"setupcheck.exe", true},
    {L"postinstall_unrestricted.exe", false},
};

const wchar_t kFolderName[] = L"Planting Test";

// What any of the shipped programs loads after start, each run once in a tree of its own.
std::vector<std::wstring> names_to_plant()
{
    std::vector<std::wstring> names;
    for (const wchar_t* program : {L"postinstall.exe", L"preuninstall.exe", L"setupcheck.exe"}) {
        testsupport::TempDir root;
        testsupport::write_release_information(root.path(), narrow(kFolderName), "r1");
        testsupport::place_programs(root.path(), {program});
        for (const std::wstring& name : dlls_loaded_after_start(testsupport::program_command(root.path(), program))) {
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        }
    }
    testsupport::forget_suite_registration({kFolderName});
    return names;
}

} // namespace

TEST(DllPlanting, NoDllPlantedUnderALoadedNameRunsUnlessTheSearchIsLeftOpen)
{
    const std::vector<std::wstring> names = names_to_plant();
    ASSERT_FALSE(names.empty()) << "no program loaded a DLL after start: nothing to plant";

    for (const Planting& planting : kPlantings) {
        SCOPED_TRACE(narrow(planting.program));
        testsupport::forget_suite_registration({kFolderName});
        testsupport::TempDir root;
        ASSERT_TRUE(testsupport::write_release_information(root.path(), narrow(kFolderName), "r1"));
        ASSERT_TRUE(testsupport::place_programs(root.path(), {planting.program}));
        const std::wstring setup = root.path() + testsupport::kSetupBelowRoot;
        for (const std::wstring& name : names)
            ASSERT_TRUE(testsupport::copy_file(testsupport::own_directory() + L"planted_dll.dll", setup + name));

        // Native first for the planted names, for this program only. Wine reads the setting at the
        // program's start; a child does not take WINEDLLOVERRIDES from its parent's environment.
        const std::wstring overrides_key = std::wstring(L"Software\\Wine\\AppDefaults\\") + planting.program;
        HKEY overrides = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (overrides_key + L"\\DllOverrides").c_str(), 0,
                                                 nullptr, 0, KEY_SET_VALUE, nullptr, &overrides, nullptr));
        for (const std::wstring& name : names) {
            const wchar_t native_first[] = L"native,builtin";
            RegSetValueExW(overrides, name.substr(0, name.size() - 4).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(native_first), sizeof(native_first));
        }
        RegCloseKey(overrides);
        std::string output;
        testsupport::RunOptions options;
        options.output = &output;
        testsupport::run_program(testsupport::program_command(root.path(), planting.program), options);
        RegDeleteTreeW(HKEY_CURRENT_USER, overrides_key.c_str());
        testsupport::forget_suite_registration({kFolderName});

        std::vector<std::wstring> ran;
        for (const std::wstring& name : names) {
            if (testsupport::file_exists(setup + name + L".ran"))
                ran.push_back(name);
        }
        if (planting.restricted)
            EXPECT_TRUE(ran.empty()) << "planted DLLs ran:" << listed(ran) << "planted:" << listed(names);
        else
            EXPECT_FALSE(ran.empty()) << "no plant ran without the restriction; planted:" << listed(names);
    }
}
