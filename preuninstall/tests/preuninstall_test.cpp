// preuninstall run as the uninstaller runs it, from a real install tree, after postinstall or after
// shortcuts of the add-on products were laid out, by an administrator and by a standard user.
#include "testsupport/broadcast.h"
#include "testsupport/installed_suite.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using testsupport::As;
using testsupport::InstalledSuite;
using testsupport::InstalledSuiteInScope;
using testsupport::TempDir;
using testsupport::directory_exists;
using testsupport::file_exists;
using testsupport::kTestFolderName;
using testsupport::listed;
using testsupport::narrow;
using testsupport::read_environment_value;

namespace {

using Preuninstall = InstalledSuite;
using PreuninstallInScope = InstalledSuiteInScope;
using Snapshot = testsupport::RegistrationSnapshot;
using testsupport::expect_same;

// The suite's variables the machine key holds, then what the suite's folder holds, as a broadcast
// receiver sees them: the order of preuninstall's steps seen from outside, without its log.
std::wstring variables_and_folder()
{
    std::wstring state;
    for (const wchar_t* name : testsupport::kSuiteVariables)
        state += read_environment_value(kMachineScope, name).exists ? std::wstring(name) + L" " : L"";
    for (const std::wstring& entry : testsupport::list_tree(InstalledSuite::suite_folder()))
        state += L"| " + entry;
    return state;
}

} // namespace

TEST_P(PreuninstallInScope, LeavesStartMenuAndEnvironmentAsBeforeButTheSharedVariable)
{
    const bool standard_user = GetParam() == As::StandardUser;
    std::string ten_levels;
    for (int level = 0; level < 10; ++level)
        ten_levels += "\\" + std::string(100, static_cast<char>('a' + level));
    const std::string suite = narrow(kTestFolderName);
    // A nested folder name: install creates both levels, uninstall must remove both. Then names
    // that Windows could neither make nor remove (Wine makes them): postinstall creates nothing.
    // Then revision suffixes that are no part of one file name, and ones that are.
    const std::tuple<std::string, std::string, bool> rows[] = {
        {suite + "\\Suite 18.1", "18.1", true},   {suite + "\\NUL", "18.1", false},
        {suite + "\\com1.txt", "18.1", false},    {suite + "\\Aux  ", "18.1", false},
        {suite + "\\LPT9\\Suite", "18.1", false}, {suite + "\\" + std::string(255, 'N'), "18.1", false},
        {suite + ten_levels, "18.1", false},      {suite, "x\\y", false},
        {suite, "x/y", false},                    {suite, "a:b", false},
        {suite, "a|b", false},                    {suite, "R\x01", false},
        {suite, std::string(300, 'S'), false},    {suite, "CON", true},
        {suite, "x.", true},                      {suite, "R1", true},
        {suite, "", true},
    };
    for (const auto& [folder_name, suffix, registers] : rows) {
        SCOPED_TRACE(folder_name.substr(0, 80) + " (" + std::to_string(folder_name.size()) + " characters) | " +
                     suffix.substr(0, 20));
        release(folder_name, suffix);
        const Snapshot before;

        run_logged(L"postinstall.exe", GetParam());
        const std::wstring folder =
            testsupport::programs_folder(GetParam()) + L"\\" + std::wstring(folder_name.begin(), folder_name.end());
        const std::string file = suffix.empty() ? "\\Fenwright.lnk" : "\\Fenwright " + suffix + ".lnk";
        const std::wstring shortcut = folder + std::wstring(file.begin(), file.end());
        EXPECT_EQ(registers, file_exists(shortcut))
            << (registers ? "postinstall did not register: " : "postinstall wrote: ") << narrow(shortcut);
        const Snapshot installed;
        if (!registers) {
            EXPECT_EQ(before.all_users_programs, installed.all_users_programs) << "postinstall made folders";
            EXPECT_EQ(before.user_programs, installed.user_programs) << "postinstall made folders";
        }
        for (const wchar_t* name : testsupport::kPostinstallVariables)
            EXPECT_TRUE(testsupport::read_environment_value(standard_user ? kUserScope : kMachineScope, name).exists)
                << narrow(name);
        if (!standard_user) {
            // A standard user's run leaves an administrator's install as it was.
            run(L"preuninstall.exe", As::StandardUser);
            expect_same(installed, Snapshot(), "after a standard user's preuninstall");
        }

        // The log names each refusal: the shortcut's in both programs, the suite folder's when it is the name.
        const std::string lines = listed(run_logged(L"preuninstall.exe", GetParam(), true));
        for (const char* step : {"postinstall shortcut created: ", "preuninstall shortcut deleted: "}) {
            const size_t at = lines.find(step);
            EXPECT_EQ(!registers, lines.find(": refused, ", at) < lines.find('\n', at)) << step << lines;
        }
        EXPECT_EQ(!registers && suffix == "18.1", lines.find(narrow(folder) + ": refused, ") != std::string::npos)
            << lines;
        Snapshot after;
        // The variable shared by all releases stays by design, in the scope it was written in.
        auto& scope_environment = standard_user ? after.user_environment : after.machine_environment;
        ASSERT_EQ(1u, scope_environment.erase(testsupport::kSharedVariable));
        expect_same(before, after, "after preuninstall");

        // Nothing left to do: a second run changes nothing.
        const Snapshot settled;
        run(L"preuninstall.exe", GetParam());
        expect_same(settled, Snapshot(), "after a second preuninstall");
        clean();
    }
}

TEST_P(PreuninstallInScope, DeletesRootDerivedVariablesOnlyWhileTheyLieInThisRoot)
{
    const bool standard_user = GetParam() == As::StandardUser;
    std::wstring shouted = root();
    CharUpperW(&shouted[0]);
    const std::wstring other_release = tree_ / L"Suite\\v170";
    const auto& derived = testsupport::kRootVariables;
    // This root's values (the letter case aside) and another installation's: another release, and
    // a root that merely begins with this one's name.
    const std::wstring inside[] = {shouted, root() + L"\\ORVANE\\CADIntegration\\Parasolid\\PSchema",
                                   root() + L"\\CommonFiles\\Language\\de"};
    const std::wstring outside[] = {other_release, root() + L"0\\ORVANE\\CADIntegration\\Parasolid\\PSchema",
                                    other_release + L"\\CommonFiles\\Language\\en-us"};
    for (const bool machine_holds_ours : {true, false}) {
        SCOPED_TRACE(machine_holds_ours ? "this root's values in the machine key" : "this root's values in the user key");
        for (size_t i = 0; i < 3; ++i) {
            ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(
                                         kMachineScope, derived[i], machine_holds_ours ? inside[i] : outside[i]));
            ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(
                                         kUserScope, derived[i], machine_holds_ours ? outside[i] : inside[i]));
        }
        for (const wchar_t* name : {testsupport::kAddOnVariables[0], testsupport::kAddOnVariables[1],
                                    testsupport::kSharedVariable}) {
            ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(kMachineScope, name, L"C:\\Elsewhere"));
            ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(kUserScope, name, L"C:\\Elsewhere"));
        }

        // Each key's value is judged on its own; a standard user's run never touches the machine key.
        // The log tells a value kept for another installation from a deletion that failed.
        const std::string lines = listed(run_logged(L"preuninstall.exe", GetParam()));
        for (const wchar_t* name : derived) {
            EXPECT_EQ(standard_user || !machine_holds_ours, read_environment_value(kMachineScope, name).exists)
                << narrow(name) << " in the machine key";
            EXPECT_EQ(machine_holds_ours, read_environment_value(kUserScope, name).exists)
                << narrow(name) << " in the user key";
            const size_t at = lines.find("variable deleted: " + narrow(name) + " from ");
            ASSERT_NE(std::string::npos, at) << lines;
            const std::string line = lines.substr(at, lines.find('\n', at) - at);
            const char* outcome = machine_holds_ours ? ": kept in HKCU\\Environment, another installation's"
                                  : standard_user    ? ": ok, gone"
                                                     : ": kept in HKLM\\System\\CurrentControlSet";
            EXPECT_NE(std::string::npos, line.find(outcome)) << line;
        }
        EXPECT_EQ(std::string::npos, lines.find("FAILED")) << lines;
        // The add-on variables, which postinstall never wrote, go whatever they hold.
        for (const wchar_t* name : testsupport::kAddOnVariables) {
            EXPECT_EQ(standard_user, read_environment_value(kMachineScope, name).exists) << narrow(name);
            EXPECT_FALSE(read_environment_value(kUserScope, name).exists) << narrow(name);
        }
        EXPECT_TRUE(read_environment_value(kMachineScope, testsupport::kSharedVariable).exists);
        EXPECT_TRUE(read_environment_value(kUserScope, testsupport::kSharedVariable).exists);
        clean();
    }
}

TEST_P(PreuninstallInScope, SpecialFolderNamedAsTheSuitesIsNeitherWrittenToNorRemoved)
{
    const bool standard_user = GetParam() == As::StandardUser;
    // Each folder's CSIDL and its shell-folder setting.
    const std::pair<int, const wchar_t*> specials[] = {
        {standard_user ? CSIDL_STARTUP : CSIDL_COMMON_STARTUP, standard_user ? L"Startup" : L"Common Startup"},
        {standard_user ? CSIDL_ADMINTOOLS : CSIDL_COMMON_ADMINTOOLS,
         standard_user ? L"Administrative Tools" : L"Common Administrative Tools"},
    };
    for (const auto& [csidl, setting] : specials) {
        wchar_t path[MAX_PATH + 1] = L"";
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE)) << "special folder " << csidl;
        const std::wstring special = path;
        const size_t separator = special.find_last_of(L'\\');
        ASSERT_EQ(testsupport::programs_folder(GetParam()), special.substr(0, separator)) << narrow(special);
        ASSERT_TRUE(testsupport::find_shortcuts(special).empty()) << narrow(special) << " is not empty to begin with";
        // The release file spells the folder otherwise (another letter case, the 8.3 name), or the
        // shell's setting does (forward slashes, a doubled trailing separator).
        std::wstring lower = special.substr(separator + 1);
        CharLowerW(&lower[0]);
        const std::wstring short_path = testsupport::short_path(special);
        const std::wstring short_name = short_path.substr(short_path.find_last_of(L'\\') + 1);
        std::wstring forward = special + L"/";
        std::replace(forward.begin(), forward.end(), L'\\', L'/');
        const std::pair<std::wstring, std::wstring> rows[] = {
            {lower, L""}, {short_name, L""}, {lower, forward}, {lower, special + L"\\\\"}};
        for (const auto& row : rows) {
            SCOPED_TRACE(narrow(row.first) + " | " + narrow(row.second));
            std::optional<testsupport::RedirectedShellFolder> spelt;
            if (!row.second.empty())
                spelt.emplace(standard_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, setting, row.second);
            release(narrow(row.first));
            run_logged(L"postinstall.exe", GetParam());
            EXPECT_TRUE(testsupport::find_shortcuts(special).empty()) << "postinstall wrote into " << narrow(special);
            const std::vector<std::string> lines = run_logged(L"preuninstall.exe", GetParam(), true);
            EXPECT_TRUE(directory_exists(special)) << "preuninstall removed " << narrow(special);
            // Each shortcut and folder step says why: one creation, nine deletions, three folders.
            EXPECT_EQ(13, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                          return line.find(": refused, it leads into a folder the shell names as special") !=
                                 std::string::npos;
                      })) << listed(lines);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothScopes, PreuninstallInScope, ::testing::Values(As::Administrator, As::StandardUser),
                         testsupport::AccountName());

TEST_F(Preuninstall, DeletesShortcutsThenVariablesThenOnlyTheFoldersLeftEmpty)
{
    // The suite as its installers leave it, laid out with the shell's and the registry's own means.
    release(narrow(kTestFolderName));
    const std::wstring suite = suite_folder();
    for (const std::wstring& shortcut : testsupport::kAddOnShortcuts)
        ASSERT_TRUE(testsupport::write_shortcut(suite + L"\\" + shortcut + L" 18.1.lnk", L"C:\\Addon\\addon.exe"));
    ASSERT_TRUE(testsupport::write_shortcut(suite + L"\\Fenwright 18.1.lnk", root() + L"\\runfen2.exe"));
    // Not the suite's shortcuts of this release (no suffix), and the user's own file.
    ASSERT_TRUE(testsupport::write_shortcut(suite + L"\\TESSAL\\TESSAL Desktop.lnk", L"C:\\Addon\\addon.exe"));
    testsupport::write_bytes(suite + L"\\TESSAL\\notes.txt", "the user's own file");
    for (const wchar_t* name : testsupport::kSuiteVariables)
        ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(kMachineScope, name, root() + L"\\" + name));

    // Each variable's deletion is broadcast: at each broadcast the receiver sees every shortcut gone,
    // no folder removed yet, and exactly the variables of the earlier deletion steps gone.
    testsupport::BroadcastReceiver receiver(variables_and_folder);
    ASSERT_TRUE(receiver.ready()) << "error " << GetLastError();
    run(L"preuninstall.exe", As::Administrator);
    const std::vector<testsupport::SettingChange> changes = receiver.received();
    const wchar_t* const deletion_order[] = {L"TALVO_ROOT182", L"CORVANE182_DIR", L"P_SCHEMA", L"VOSKEL_DOCDIR182",
                                             L"VOSKEL_LIBDIR182"};
    ASSERT_EQ(5u, changes.size()) << "one broadcast per deleted variable";
    std::vector<const wchar_t*> left = testsupport::kSuiteVariables;
    for (size_t step = 0; step < changes.size(); ++step) {
        left.erase(std::find(left.begin(), left.end(), std::wstring(deletion_order[step])));
        std::wstring expected;
        for (const wchar_t* name : left)
            expected += std::wstring(name) + L" ";
        expected += L"| CORVANE| TESSAL| TESSAL\\TESSAL Desktop.lnk| TESSAL\\notes.txt";
        EXPECT_EQ(expected, changes[step].snapshot) << "at broadcast " << step + 1;
    }

    const std::vector<std::wstring> expected = {L"TESSAL", L"TESSAL\\TESSAL Desktop.lnk", L"TESSAL\\notes.txt"};
    EXPECT_EQ(expected, testsupport::list_tree(suite)) << listed(testsupport::list_tree(suite));
    // Once the user's files are gone, a second run removes the rest.
    testsupport::remove_tree(suite + L"\\TESSAL");
    ASSERT_TRUE(testsupport::make_directories(suite + L"\\TESSAL"));
    run(L"preuninstall.exe", As::Administrator);
    EXPECT_FALSE(directory_exists(suite));
}

TEST_F(Preuninstall, EmptyFolderNameLeavesFoldersThatAreNotTheSuites)
{
    // No release information: no folder name, so the add-on steps would look at Programs\TESSAL and
    // Programs\CORVANE, other products' folders. The user's Programs folder is made one of our own
    // that holds them empty, which those steps would remove if they ran. Wine cannot show this: its
    // shell does not parse the doubled backslash of those paths (Programs\\TESSAL\), so it leaves
    // the folders even without the guard; a shell that accepts the path would remove them.
    TempDir profile;
    const std::wstring programs = profile / L"Programs";
    for (const wchar_t* other : {L"\\TESSAL", L"\\CORVANE"})
        ASSERT_TRUE(testsupport::make_directories(programs + other));
    {
        testsupport::RedirectedShellFolder redirected(HKEY_CURRENT_USER, L"Programs", programs);
        ASSERT_EQ(programs, testsupport::user_programs_folder()) << "the redirection did not take";
        run(L"preuninstall.exe", As::StandardUser);
    }
    EXPECT_TRUE(directory_exists(programs + L"\\TESSAL"));
    EXPECT_TRUE(directory_exists(programs + L"\\CORVANE"));
}

TEST_F(Preuninstall, ReleaseFileRewrittenWhileTheProgramsRunNeverHarmsThem)
{
    // Another process keeps swapping the release file between an empty folder name and a long one,
    // so the value grows between many a program's size query and its fill call.
    const std::wstring relinfo = root() + L"\\commonfiles\\globalsettings\\relinfo.xml";
    const std::string shapes[] = {
        testsupport::release_information("", ""),
        testsupport::release_information(narrow(kTestFolderName) + "\\" + std::string(120, 'R'), "")};
    testsupport::write_bytes(relinfo, shapes[0]);
    std::atomic<bool> stop(false);
    std::atomic<unsigned int> swaps(0);
    std::thread writer([&] {
        const std::wstring staged = relinfo + L".new";
        for (unsigned int n = 0; !stop; ++n) {
            testsupport::write_bytes(staged, shapes[n % 2]);
            if (MoveFileExW(staged.c_str(), relinfo.c_str(), MOVEFILE_REPLACE_EXISTING))
                ++swaps;
        }
    });
    for (int round = 0; round < 6; ++round) {
        run(L"postinstall.exe", As::Administrator);
        run(L"preuninstall.exe", As::Administrator);
    }
    stop = true;
    writer.join();
    EXPECT_GT(swaps.load(), 12u) << "the file was hardly rewritten";
}
