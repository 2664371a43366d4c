// preuninstall run as the uninstaller runs it, from a real install tree, after postinstall or after
// shortcuts of the add-on products were laid out, by an administrator and by a standard user.
#include "setupkit/shortcuts.h"

#include "testsupport/files.h"
#include "testsupport/platform.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/suite.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using testsupport::As;
using testsupport::TempDir;
using testsupport::directory_exists;
using testsupport::file_exists;
using testsupport::listed;
using testsupport::narrow;

namespace {

const wchar_t kFolderName[] = L"setupkit preuninstall_test";

struct AddOnShortcut {
    const wchar_t* sub_folder;
    const wchar_t* name;
};

const AddOnShortcut kAddOnShortcuts[] = {
    {L"TESSAL", L"TESSAL Desktop"},   {L"TESSAL", L"TESSAL Studio"},
    {L"TESSAL", L"Server Upgrade"},   {L"TESSAL", L"Server Diagnostics"},
    {L"CORVANE", L"CORVANE"},         {L"CORVANE", L"CORVANE Documentation"},
    {L"CORVANE", L"CORVANE Examples"}, {L"CORVANE", L"Uninstall CORVANE"},
};

// Every value of an environment key: name -> type and bytes.
std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> environment_values(Scope scope)
{
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(scope == kMachineScope ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                      scope == kMachineScope ? testsupport::kMachineEnvironmentKey : testsupport::kUserEnvironmentKey,
                      0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD name_chars = 16384;
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegEnumValueW(key, index, name, &name_chars, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            break;
        values[name] = {type, testsupport::read_registry_value(key, L"", name).data};
    }
    RegCloseKey(key);
    return values;
}

// What the programs may touch: both Programs folders and both environment keys.
struct Snapshot {
    std::vector<std::wstring> all_users_programs;
    std::vector<std::wstring> user_programs;
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> machine_environment;
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> user_environment;

    static Snapshot take()
    {
        Snapshot snapshot;
        snapshot.all_users_programs = testsupport::list_tree(testsupport::all_users_programs_folder());
        snapshot.user_programs = testsupport::list_tree(testsupport::user_programs_folder());
        snapshot.machine_environment = environment_values(kMachineScope);
        snapshot.user_environment = environment_values(kUserScope);
        return snapshot;
    }
};

class Preuninstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this machine's environment key and all-users Start Menu");
        clean();
        ASSERT_TRUE(testsupport::place_programs(root(), {L"postinstall.exe", L"preuninstall.exe"}))
            << "error " << GetLastError();
    }
    void TearDown() override { if (testsupport::this_machine_may_change()) clean(); }

    static void clean()
    {
        testsupport::restore_shell_folders();
        testsupport::forget_suite_registration({kFolderName});
    }

    std::wstring root() const { return tree_ / L"Suite\\v182"; }

    // Runs one of the programs from the tree as `as`; checks its exit status.
    void run(const wchar_t* program, As as, const std::wstring& arguments = L"")
    {
        const std::wstring command = testsupport::program_command(root(), program, arguments);
        EXPECT_EQ(0u, testsupport::run_program(command, {as}))
            << narrow(command) << (as == As::StandardUser ? " as a standard user" : " as administrator");
    }

    // A real shortcut of an add-on product, as its own installer would have left it.
    static void lay_out_shortcut(const std::wstring& path)
    {
        create_shortcut_file(path.c_str(), L"C:\\Addon\\addon.exe", L"", L"", L"", L"", 0, SW_SHOWNORMAL);
        ASSERT_TRUE(file_exists(path)) << narrow(path);
    }

    TempDir tree_;
};

// Parameter: whose install and uninstall.
class PreuninstallInScope : public Preuninstall, public ::testing::WithParamInterface<As> {};

} // namespace

TEST_P(PreuninstallInScope, LeavesStartMenuAndEnvironmentAsBeforeButTheSharedVariable)
{
    const bool standard_user = GetParam() == As::StandardUser;
    std::string ten_levels;
    for (int level = 0; level < 10; ++level)
        ten_levels += "\\" + std::string(100, static_cast<char>('a' + level));
    const std::string suite = narrow(kFolderName);
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
    const std::wstring log = tree_ / L"round trip.log";
    for (const auto& [folder_name, suffix, registers] : rows) {
        SCOPED_TRACE(folder_name.substr(0, 80) + " (" + std::to_string(folder_name.size()) + " characters) | " +
                     suffix.substr(0, 20));
        ASSERT_TRUE(testsupport::write_release_information(root(), folder_name, suffix));
        const Snapshot before = Snapshot::take();
        testsupport::remove_tree(log);

        run(L"postinstall.exe", GetParam(), L" \"/log=" + log + L"\"");
        const std::wstring folder =
            testsupport::programs_folder(GetParam()) + L"\\" + std::wstring(folder_name.begin(), folder_name.end());
        const std::string file = suffix.empty() ? "\\Fenwright.lnk" : "\\Fenwright " + suffix + ".lnk";
        const std::wstring shortcut = folder + std::wstring(file.begin(), file.end());
        EXPECT_EQ(registers, file_exists(shortcut))
            << (registers ? "postinstall did not register: " : "postinstall wrote: ") << narrow(shortcut);
        if (!registers) {
            EXPECT_EQ(before.all_users_programs, Snapshot::take().all_users_programs) << "postinstall made folders";
            EXPECT_EQ(before.user_programs, Snapshot::take().user_programs) << "postinstall made folders";
        }
        for (const wchar_t* name : testsupport::kPostinstallVariables)
            EXPECT_TRUE(testsupport::read_environment_value(standard_user ? kUserScope : kMachineScope, name).exists)
                << narrow(name);

        run(L"preuninstall.exe", GetParam(), L" \"/log=" + log + L"\"");
        // The log names each refusal: the shortcut's in both programs, the suite folder's when it is the name.
        const std::string lines = listed(testsupport::log_lines(log));
        for (const char* step : {"postinstall shortcut created: ", "preuninstall shortcut deleted: "}) {
            const size_t at = lines.find(step);
            EXPECT_EQ(!registers, lines.find(": refused, ", at) < lines.find('\n', at)) << step << lines;
        }
        EXPECT_EQ(!registers && suffix == "18.1", lines.find(narrow(folder) + ": refused, ") != std::string::npos)
            << lines;
        Snapshot after = Snapshot::take();
        EXPECT_EQ(before.all_users_programs, after.all_users_programs) << listed(after.all_users_programs);
        EXPECT_EQ(before.user_programs, after.user_programs) << listed(after.user_programs);

        // The variable shared by all releases stays by design, in the scope it was written in.
        auto& scope_environment = standard_user ? after.user_environment : after.machine_environment;
        ASSERT_EQ(1u, scope_environment.count(L"VELMORA_SYSDIR32"));
        scope_environment.erase(L"VELMORA_SYSDIR32");
        EXPECT_TRUE(before.machine_environment == after.machine_environment) << "the machine environment changed";
        EXPECT_TRUE(before.user_environment == after.user_environment) << "the user environment changed";

        // Nothing left to do: a second run changes nothing.
        const Snapshot settled = Snapshot::take();
        run(L"preuninstall.exe", GetParam());
        const Snapshot again = Snapshot::take();
        EXPECT_EQ(settled.all_users_programs, again.all_users_programs);
        EXPECT_EQ(settled.user_programs, again.user_programs);
        EXPECT_TRUE(settled.machine_environment == again.machine_environment);
        EXPECT_TRUE(settled.user_environment == again.user_environment);
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

        const std::wstring log = tree_ / L"preuninstall.log";
        testsupport::remove_tree(log);
        run(L"preuninstall.exe", GetParam(), L" /log=" + log);

        // Each key's value is judged on its own; a standard user's run never touches the machine key.
        // The log tells a value kept for another installation from a deletion that failed.
        const std::string lines = listed(testsupport::log_lines(log));
        for (const wchar_t* name : derived) {
            EXPECT_EQ(standard_user || !machine_holds_ours,
                      testsupport::read_environment_value(kMachineScope, name).exists)
                << narrow(name) << " in the machine key";
            EXPECT_EQ(machine_holds_ours, testsupport::read_environment_value(kUserScope, name).exists)
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
            EXPECT_EQ(standard_user, testsupport::read_environment_value(kMachineScope, name).exists) << narrow(name);
            EXPECT_FALSE(testsupport::read_environment_value(kUserScope, name).exists) << narrow(name);
        }
        EXPECT_TRUE(testsupport::read_environment_value(kMachineScope, testsupport::kSharedVariable).exists);
        EXPECT_TRUE(testsupport::read_environment_value(kUserScope, testsupport::kSharedVariable).exists);
        clean();
    }
}

TEST_P(PreuninstallInScope, SpecialFolderNamedAsTheSuitesIsNeitherWrittenToNorRemoved)
{
    const bool standard_user = GetParam() == As::StandardUser;
    struct Special {
        int csidl;
        const wchar_t* setting;
    };
    const Special specials[] = {
        {standard_user ? CSIDL_STARTUP : CSIDL_COMMON_STARTUP, standard_user ? L"Startup" : L"Common Startup"},
        {standard_user ? CSIDL_ADMINTOOLS : CSIDL_COMMON_ADMINTOOLS,
         standard_user ? L"Administrative Tools" : L"Common Administrative Tools"},
    };
    for (const Special& folder : specials) {
        wchar_t path[MAX_PATH + 1] = L"";
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, folder.csidl, TRUE)) << "special folder " << folder.csidl;
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
                spelt.emplace(standard_user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, folder.setting, row.second);
            ASSERT_TRUE(testsupport::write_release_information(root(), narrow(row.first), "18.1"));
            const std::wstring log = tree_ / L"special.log";
            testsupport::remove_tree(log);
            run(L"postinstall.exe", GetParam(), L" \"/log=" + log + L"\"");
            EXPECT_TRUE(testsupport::find_shortcuts(special).empty()) << "postinstall wrote into " << narrow(special);
            run(L"preuninstall.exe", GetParam(), L" \"/log=" + log + L"\"");
            EXPECT_TRUE(directory_exists(special)) << "preuninstall removed " << narrow(special);
            // Each shortcut and folder step says why: one creation, nine deletions, three folders.
            const std::vector<std::string> lines = testsupport::log_lines(log);
            EXPECT_EQ(13, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                          return line.find(": refused, it leads into a folder the shell names as special") !=
                                 std::string::npos;
                      })) << listed(lines);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothScopes, PreuninstallInScope, ::testing::Values(As::Administrator, As::StandardUser),
                         testsupport::AccountName());

TEST_F(Preuninstall, StandardUserLeavesAdministratorsInstallUntouched)
{
    ASSERT_TRUE(testsupport::write_release_information(root(), narrow(kFolderName), "18.1"));
    run(L"postinstall.exe", As::Administrator);
    const Snapshot installed = Snapshot::take();

    run(L"preuninstall.exe", As::StandardUser);
    const Snapshot after = Snapshot::take();
    EXPECT_EQ(installed.all_users_programs, after.all_users_programs) << listed(after.all_users_programs);
    EXPECT_TRUE(installed.machine_environment == after.machine_environment) << "the machine environment changed";
    EXPECT_TRUE(file_exists(testsupport::all_users_programs_folder() + L"\\" + kFolderName + L"\\Fenwright 18.1.lnk"));
}

TEST_F(Preuninstall, RemovesAddOnShortcutsAndOnlyTheFoldersLeftEmpty)
{
    ASSERT_TRUE(testsupport::write_release_information(root(), narrow(kFolderName), "18.1"));
    const std::wstring suite = testsupport::all_users_programs_folder() + L"\\" + kFolderName;
    for (const AddOnShortcut& addon : kAddOnShortcuts)
        lay_out_shortcut(suite + L"\\" + addon.sub_folder + L"\\" + addon.name + L" 18.1.lnk");
    lay_out_shortcut(suite + L"\\Fenwright 18.1.lnk");
    testsupport::write_bytes(suite + L"\\TESSAL\\notes.txt", "the user's own file");

    run(L"preuninstall.exe", As::Administrator);

    const std::vector<std::wstring> left = testsupport::list_tree(suite);
    const std::vector<std::wstring> expected = {L"TESSAL", L"TESSAL\\notes.txt"};
    EXPECT_EQ(expected, left) << "what is left of the suite's folder:" << listed(left);
    EXPECT_FALSE(directory_exists(suite + L"\\CORVANE"));

    // Once the user's file is gone, a second run removes the rest.
    testsupport::remove_tree(suite + L"\\TESSAL\\notes.txt");
    run(L"preuninstall.exe", As::Administrator);
    EXPECT_FALSE(directory_exists(suite));
}

TEST_F(Preuninstall, EmptyRevisionSuffixRemovesWhatInstallCreated)
{
    ASSERT_TRUE(testsupport::write_release_information(root(), narrow(kFolderName), ""));
    run(L"postinstall.exe", As::Administrator);
    const std::wstring suite = testsupport::all_users_programs_folder() + L"\\" + kFolderName;
    ASSERT_TRUE(file_exists(suite + L"\\Fenwright.lnk"));

    run(L"preuninstall.exe", As::Administrator);
    EXPECT_FALSE(directory_exists(suite)) << "shortcut or folder left behind";
}

TEST_F(Preuninstall, SuffixAndFolderNameComposeTheNamesLookedFor)
{
    ASSERT_TRUE(testsupport::write_release_information(root(), "setupkit Suite", "18.1"));
    const std::wstring suite = testsupport::all_users_programs_folder() + L"\\setupkit Suite";
    testsupport::remove_tree(suite);
    lay_out_shortcut(suite + L"\\Fenwright 18.1.lnk");
    lay_out_shortcut(suite + L"\\TESSAL\\TESSAL Desktop 18.1.lnk");
    // Names without the suffix are not the suite's shortcuts of this release.
    lay_out_shortcut(suite + L"\\TESSAL\\TESSAL Desktop.lnk");

    run(L"preuninstall.exe", As::Administrator);
    const std::vector<std::wstring> left = testsupport::list_tree(suite);
    const std::vector<std::wstring> expected = {L"TESSAL", L"TESSAL\\TESSAL Desktop.lnk"};
    EXPECT_EQ(expected, left) << listed(left);
    testsupport::remove_tree(suite);
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
    // Guard or not, the library never removes the Programs folder itself.
    EXPECT_TRUE(directory_exists(programs)) << "the Programs folder was removed";
}

TEST_F(Preuninstall, ReleaseFileRewrittenWhileTheProgramsRunNeverHarmsThem)
{
    // Another process keeps swapping the release file between an empty folder name and a long one,
    // so the value grows between many a program's size query and its fill call.
    const std::wstring relinfo = root() + L"\\commonfiles\\globalsettings\\relinfo.xml";
    const std::string shapes[] = {
        testsupport::release_information("", ""),
        testsupport::release_information(narrow(kFolderName) + "\\" + std::string(120, 'R'), "")};
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
