// preuninstall run as the uninstaller runs it, from a real install tree, after postinstall or after
// shortcuts of the add-on products were laid out, by an administrator and by a standard user.
#include "setupkit/shortcuts.h"

#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/standard_user.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

using testsupport::TempDir;
using testsupport::directory_exists;
using testsupport::file_exists;
using testsupport::narrow;

namespace {

const wchar_t kFolderName[] = L"setupkit preuninstall_test";
const wchar_t kSetupBelowRoot[] = L"\\Framework\\bin\\Win64\\setup\\";
const wchar_t* const kSuiteVariables[] = {L"TALVO_ROOT182",    L"CORVANE182_DIR",   L"P_SCHEMA",
                                          L"VOSKEL_DOCDIR182", L"VOSKEL_LIBDIR182", L"VELMORA_SYSDIR32"};

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

std::string release_information(const std::string& folder_name, const std::string& revision)
{
    return "<releaseInformation>\r\n  <startMenuFolderName value=\"" + folder_name +
           "\"/>\r\n  <startMenuShortcutAppendRevision value=\"" + revision + "\"/>\r\n</releaseInformation>\r\n";
}

// Every file and folder below `folder`, relative to it, in a stable order.
void list_tree(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& entries)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + relative + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        entries.push_back(relative + L"\\" + name);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            list_tree(folder, relative + L"\\" + name, entries);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

// Every value of an environment key: name -> type and bytes.
std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> environment_values(bool machine)
{
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                      machine ? testsupport::kMachineEnvironmentKey : testsupport::kUserEnvironmentKey, 0, KEY_READ,
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
        list_tree(testsupport::all_users_programs_folder(), L"", snapshot.all_users_programs);
        list_tree(testsupport::user_programs_folder(), L"", snapshot.user_programs);
        snapshot.machine_environment = environment_values(true);
        snapshot.user_environment = environment_values(false);
        return snapshot;
    }
};

std::string listed(const std::vector<std::wstring>& entries)
{
    std::string text;
    for (const std::wstring& entry : entries)
        text += "\n  " + narrow(entry);
    return text;
}

class Preuninstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        clean();
        for (const wchar_t* program : {L"postinstall.exe", L"preuninstall.exe"}) {
            const std::wstring placed = root() + kSetupBelowRoot + program;
            ASSERT_TRUE(testsupport::copy_file(testsupport::own_directory() + program, placed))
                << narrow(placed) << " error " << GetLastError();
        }
        standard_user_token_ = testsupport::create_standard_user_token();
        ASSERT_NE(nullptr, standard_user_token_) << "error " << GetLastError();
    }

    void TearDown() override
    {
        clean();
        if (standard_user_token_)
            CloseHandle(standard_user_token_);
    }

    static void clean()
    {
        for (const std::wstring& programs :
             {testsupport::all_users_programs_folder(), testsupport::user_programs_folder()}) {
            testsupport::remove_tree(programs + L"\\" + kFolderName);
            testsupport::remove_tree(programs + L"\\Fenwright.lnk");
        }
        for (const wchar_t* name : kSuiteVariables)
            testsupport::forget_environment_variable(name);
    }

    std::wstring root() const { return tree_ / L"Suite\\v182"; }

    void write_release_information(const std::string& folder_name, const std::string& revision)
    {
        testsupport::write_bytes(root() + L"\\commonfiles\\globalsettings\\relinfo.xml",
                                 release_information(folder_name, revision));
    }

    // Runs one of the programs from the tree; checks its exit status.
    void run(const wchar_t* program, bool standard_user)
    {
        const std::wstring command = L"\"" + root() + kSetupBelowRoot + program + L"\"";
        const DWORD status = standard_user ? testsupport::run_and_wait_as(standard_user_token_, command)
                                           : testsupport::run_and_wait(command);
        EXPECT_EQ(0u, status) << narrow(command) << (standard_user ? " as a standard user" : " as administrator");
    }

    static std::wstring programs_folder(bool standard_user)
    {
        return standard_user ? testsupport::user_programs_folder() : testsupport::all_users_programs_folder();
    }

    // A real shortcut of an add-on product, as its own installer would have left it.
    static void lay_out_shortcut(const std::wstring& path)
    {
        create_shortcut_file(path.c_str(), L"C:\\Addon\\addon.exe", L"", L"", L"", L"", 0, SW_SHOWNORMAL);
        ASSERT_TRUE(file_exists(path)) << narrow(path);
    }

    TempDir tree_;
    HANDLE standard_user_token_ = nullptr;
};

// Parameter: true for a standard user's install and uninstall, false for an administrator's.
class PreuninstallInScope : public Preuninstall, public ::testing::WithParamInterface<bool> {};

} // namespace

TEST_P(PreuninstallInScope, LeavesStartMenuAndEnvironmentAsBeforeButTheSharedVariable)
{
    const bool standard_user = GetParam();
    // A nested folder name: install creates both levels, uninstall must remove both.
    write_release_information(narrow(kFolderName) + "\\Suite 18.1", "18.1");
    const Snapshot before = Snapshot::take();

    run(L"postinstall.exe", standard_user);
    const std::wstring shortcut =
        programs_folder(standard_user) + L"\\" + kFolderName + L"\\Suite 18.1\\Fenwright 18.1.lnk";
    ASSERT_TRUE(file_exists(shortcut)) << "postinstall did not register: " << narrow(shortcut);

    run(L"preuninstall.exe", standard_user);
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
    run(L"preuninstall.exe", standard_user);
    const Snapshot again = Snapshot::take();
    EXPECT_EQ(settled.all_users_programs, again.all_users_programs);
    EXPECT_EQ(settled.user_programs, again.user_programs);
    EXPECT_TRUE(settled.machine_environment == again.machine_environment);
    EXPECT_TRUE(settled.user_environment == again.user_environment);
}

TEST_P(PreuninstallInScope, DeletesRootDerivedVariablesOnlyWhileTheyLieInThisRoot)
{
    const bool standard_user = GetParam();
    std::wstring shouted = root();
    CharUpperW(&shouted[0]);
    const std::wstring other_release = tree_ / L"Suite\\v170";
    const wchar_t* const derived[] = {L"TALVO_ROOT182", L"P_SCHEMA", L"VOSKEL_LIBDIR182"};
    // This root's values (the letter case aside) and another installation's: another release, and
    // a root that merely begins with this one's name.
    const std::wstring inside[] = {shouted, root() + L"\\ORVANE\\CADIntegration\\Parasolid\\PSchema",
                                   root() + L"\\CommonFiles\\Language\\de"};
    const std::wstring outside[] = {other_release, root() + L"0\\ORVANE\\CADIntegration\\Parasolid\\PSchema",
                                    other_release + L"\\CommonFiles\\Language\\en-us"};
    for (const bool machine_holds_ours : {true, false}) {
        SCOPED_TRACE(machine_holds_ours ? "this root's values in the machine key" : "this root's values in the user key");
        for (size_t i = 0; i < 3; ++i) {
            ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(true, derived[i],
                                                                           machine_holds_ours ? inside[i] : outside[i]));
            ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(false, derived[i],
                                                                           machine_holds_ours ? outside[i] : inside[i]));
        }
        for (const wchar_t* name : {L"CORVANE182_DIR", L"VOSKEL_DOCDIR182", L"VELMORA_SYSDIR32"}) {
            ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(true, name, L"C:\\Elsewhere"));
            ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(false, name, L"C:\\Elsewhere"));
        }

        run(L"preuninstall.exe", standard_user);

        // Each key's value is judged on its own; a standard user's run never touches the machine key.
        for (const wchar_t* name : derived) {
            EXPECT_EQ(standard_user || !machine_holds_ours, testsupport::read_environment_value(true, name).exists)
                << narrow(name) << " in the machine key";
            EXPECT_EQ(machine_holds_ours, testsupport::read_environment_value(false, name).exists)
                << narrow(name) << " in the user key";
        }
        // The add-on variables, which postinstall never wrote, go whatever they hold.
        for (const wchar_t* name : {L"CORVANE182_DIR", L"VOSKEL_DOCDIR182"}) {
            EXPECT_EQ(standard_user, testsupport::read_environment_value(true, name).exists) << narrow(name);
            EXPECT_FALSE(testsupport::read_environment_value(false, name).exists) << narrow(name);
        }
        EXPECT_TRUE(testsupport::read_environment_value(true, L"VELMORA_SYSDIR32").exists);
        EXPECT_TRUE(testsupport::read_environment_value(false, L"VELMORA_SYSDIR32").exists);
        clean();
    }
}

TEST_P(PreuninstallInScope, SpecialFolderNamedAsTheSuitesIsNeitherWrittenToNorRemoved)
{
    const bool standard_user = GetParam();
    const int csidls[] = {standard_user ? CSIDL_STARTUP : CSIDL_COMMON_STARTUP,
                          standard_user ? CSIDL_ADMINTOOLS : CSIDL_COMMON_ADMINTOOLS};
    for (const int csidl : csidls) {
        wchar_t path[MAX_PATH + 1] = L"";
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE)) << "special folder " << csidl;
        const std::wstring special = path;
        const size_t separator = special.find_last_of(L'\\');
        ASSERT_EQ(programs_folder(standard_user), special.substr(0, separator)) << narrow(special);
        ASSERT_TRUE(testsupport::find_shortcuts(special).empty()) << narrow(special) << " is not empty to begin with";
        // Another letter case names the same folder.
        std::wstring name = special.substr(separator + 1);
        CharLowerW(&name[0]);
        write_release_information(narrow(name), "18.1");

        run(L"postinstall.exe", standard_user);
        EXPECT_TRUE(testsupport::find_shortcuts(special).empty()) << "postinstall wrote into " << narrow(special);
        run(L"preuninstall.exe", standard_user);
        EXPECT_TRUE(directory_exists(special)) << "preuninstall removed " << narrow(special);
    }
}

INSTANTIATE_TEST_SUITE_P(BothScopes, PreuninstallInScope, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "StandardUser" : "Administrator";
                         });

TEST_F(Preuninstall, StandardUserLeavesAdministratorsInstallUntouched)
{
    write_release_information(narrow(kFolderName), "18.1");
    run(L"postinstall.exe", false);
    const Snapshot installed = Snapshot::take();

    run(L"preuninstall.exe", true);
    const Snapshot after = Snapshot::take();
    EXPECT_EQ(installed.all_users_programs, after.all_users_programs) << listed(after.all_users_programs);
    EXPECT_TRUE(installed.machine_environment == after.machine_environment) << "the machine environment changed";
    EXPECT_TRUE(file_exists(testsupport::all_users_programs_folder() + L"\\" + kFolderName + L"\\Fenwright 18.1.lnk"));
}

TEST_F(Preuninstall, RemovesAddOnShortcutsAndOnlyTheFoldersLeftEmpty)
{
    write_release_information(narrow(kFolderName), "18.1");
    const std::wstring suite = testsupport::all_users_programs_folder() + L"\\" + kFolderName;
    for (const AddOnShortcut& addon : kAddOnShortcuts)
        lay_out_shortcut(suite + L"\\" + addon.sub_folder + L"\\" + addon.name + L" 18.1.lnk");
    lay_out_shortcut(suite + L"\\Fenwright 18.1.lnk");
    testsupport::write_bytes(suite + L"\\TESSAL\\notes.txt", "the user's own file");

    run(L"preuninstall.exe", false);

    std::vector<std::wstring> left;
    list_tree(suite, L"", left);
    const std::vector<std::wstring> expected = {L"\\TESSAL", L"\\TESSAL\\notes.txt"};
    EXPECT_EQ(expected, left) << "what is left of the suite's folder:" << listed(left);
    EXPECT_FALSE(directory_exists(suite + L"\\CORVANE"));

    // Once the user's file is gone, a second run removes the rest.
    testsupport::remove_tree(suite + L"\\TESSAL\\notes.txt");
    run(L"preuninstall.exe", false);
    EXPECT_FALSE(directory_exists(suite));
}

TEST_F(Preuninstall, EmptyRevisionSuffixRemovesWhatInstallCreated)
{
    write_release_information(narrow(kFolderName), "");
    run(L"postinstall.exe", false);
    const std::wstring suite = testsupport::all_users_programs_folder() + L"\\" + kFolderName;
    ASSERT_TRUE(file_exists(suite + L"\\Fenwright.lnk"));

    run(L"preuninstall.exe", false);
    EXPECT_FALSE(directory_exists(suite)) << "shortcut or folder left behind";
}

TEST_F(Preuninstall, SuffixAndFolderNameComposeTheNamesLookedFor)
{
    write_release_information("setupkit Suite", "18.1");
    const std::wstring suite = testsupport::all_users_programs_folder() + L"\\setupkit Suite";
    testsupport::remove_tree(suite);
    lay_out_shortcut(suite + L"\\Fenwright 18.1.lnk");
    lay_out_shortcut(suite + L"\\TESSAL\\TESSAL Desktop 18.1.lnk");
    // Names without the suffix are not the suite's shortcuts of this release.
    lay_out_shortcut(suite + L"\\TESSAL\\TESSAL Desktop.lnk");

    run(L"preuninstall.exe", false);
    std::vector<std::wstring> left;
    list_tree(suite, L"", left);
    const std::vector<std::wstring> expected = {L"\\TESSAL", L"\\TESSAL\\TESSAL Desktop.lnk"};
    EXPECT_EQ(expected, left) << listed(left);
    testsupport::remove_tree(suite);
}

namespace {

const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Points the user's Programs folder somewhere else for every program started meanwhile; the old
// setting comes back on destruction.
class RedirectedUserPrograms {
public:
    explicit RedirectedUserPrograms(const std::wstring& folder)
        : saved_(testsupport::read_registry_value(HKEY_CURRENT_USER, kUserShellFolders, L"Programs"))
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserShellFolders, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        RegSetValueExW(key, L"Programs", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    ~RedirectedUserPrograms()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserShellFolders, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        if (saved_.exists)
            RegSetValueExW(key, L"Programs", 0, saved_.type, saved_.data.data(), static_cast<DWORD>(saved_.data.size()));
        else
            RegDeleteValueW(key, L"Programs");
        RegCloseKey(key);
    }

private:
    testsupport::RegistryValue saved_;
};

} // namespace

TEST_F(Preuninstall, EmptyFolderNameNeverRemovesTheProgramsFolder)
{
    // No release information: no folder name. The user's Programs folder is made an empty one of
    // our own, which the folder steps would remove if they ran.
    TempDir profile;
    const std::wstring programs = profile / L"Programs";
    ASSERT_TRUE(testsupport::make_directories(programs));
    {
        RedirectedUserPrograms redirected(programs);
        ASSERT_EQ(programs, testsupport::user_programs_folder()) << "the redirection did not take";
        run(L"preuninstall.exe", true);
    }
    EXPECT_TRUE(directory_exists(programs)) << "the Programs folder was removed";
}

TEST_F(Preuninstall, ReleaseFileRewrittenWhileTheProgramsRunNeverHarmsThem)
{
    // Another process keeps swapping the release file between an empty folder name and a long one,
    // so the value grows between many a program's size query and its fill call.
    const std::wstring relinfo = root() + L"\\commonfiles\\globalsettings\\relinfo.xml";
    const std::string shapes[] = {release_information("", ""),
                                  release_information(narrow(kFolderName) + "\\" + std::string(120, 'R'), "")};
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
        run(L"postinstall.exe", false);
        run(L"preuninstall.exe", false);
    }
    stop = true;
    writer.join();
    EXPECT_GT(swaps.load(), 12u) << "the file was hardly rewritten";
}
