// postinstall run from a real install tree, as an administrator and as a standard user: the four
// environment values it leaves in the scope's key, and the broadcasts the desktop receives.
#include "testsupport/broadcast.h"
#include "testsupport/installed_suite.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

using testsupport::As;
using testsupport::narrow;
using testsupport::read_environment_value;

namespace {

using testsupport::kPostinstallVariables;

struct Expected {
    const wchar_t* name;
    std::wstring value;
};

std::vector<Expected> expected_values(const std::wstring& root, const std::wstring& code)
{
    return {{L"TALVO_ROOT182", root},
            {L"P_SCHEMA", root + L"\\ORVANE\\CADIntegration\\Parasolid\\PSchema"},
            {L"VOSKEL_LIBDIR182", root + L"\\CommonFiles\\Language\\" + code},
            {L"VELMORA_SYSDIR32", L"win32"}};
}

// Which of the four exist, in either key, as a string of 0s and 1s in the order of kPostinstallVariables.
std::wstring present_variables()
{
    std::wstring present;
    for (const wchar_t* name : kPostinstallVariables) {
        const bool exists =
            read_environment_value(kMachineScope, name).exists || read_environment_value(kUserScope, name).exists;
        present += exists ? L'1' : L'0';
    }
    return present;
}

class PostinstallRun : public testsupport::InstalledSuite {
protected:
    void SetUp() override
    {
        InstalledSuite::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(receiver_.ready()) << "no broadcast receiver window, error " << GetLastError();
        // The child inherits this environment: a private profile in the case's tree for the per-user
        // settings file. Every case sets its own and none reads the real one, so it is not put back.
        ASSERT_TRUE(SetEnvironmentVariableW(L"APPDATA", (tree_ / L"Profile").c_str()));
        receiver_.clear();
    }
    void TearDown() override
    {
        InstalledSuite::TearDown();
        if (testsupport::this_machine_may_change())
            testsupport::remove_tree(testsupport::test_drive() + L"\\Framework");
    }

    void write_user_settings(const std::string& bytes)
    {
        testsupport::write_bytes(tree_ / L"Profile\\Velmora\\v182\\languagesettings.txt", bytes);
    }

    // All four in the scope's key as REG_SZ, none in the other key, and four broadcasts.
    void expect_registered(Scope scope, const std::vector<Expected>& expected)
    {
        for (const Expected& variable : expected) {
            SCOPED_TRACE(narrow(variable.name));
            const auto stored = read_environment_value(scope, variable.name);
            ASSERT_TRUE(stored.exists) << (scope == kMachineScope ? "not in the machine key" : "not in the user key");
            EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
            EXPECT_EQ(variable.value, stored.text());
            EXPECT_EQ((variable.value.size() + 1) * sizeof(wchar_t), stored.data.size());
            EXPECT_FALSE(read_environment_value(testsupport::other_scope(scope), variable.name).exists)
                << "written in the other scope too";
        }
        // Each broadcast follows its own write: at the k-th, exactly the first k values exist.
        const auto changes = receiver_.received();
        ASSERT_EQ(4u, changes.size()) << "one broadcast per variable";
        const wchar_t* const order[] = {L"1000", L"1100", L"1110", L"1111"};
        for (size_t i = 0; i < changes.size(); ++i) {
            EXPECT_EQ(L"Environment", changes[i].area);
            EXPECT_EQ(order[i], changes[i].snapshot) << "variables present at broadcast " << i + 1;
        }
    }

    testsupport::BroadcastReceiver receiver_{present_variables};
};

} // namespace

TEST_F(PostinstallRun, AdministratorRegistersFourMachineValuesInOrder)
{
    // Without a settings file the code is the locale's: the runner pins LANG=C.UTF-8 (locale 0x409)
    // unless SETUPKIT_TEST_LANG says otherwise.
    if (GetUserDefaultLCID() != 0x0409)
        GTEST_SKIP() << "the locale code expected here is English's";
    run(L"postinstall.exe");
    expect_registered(kMachineScope, expected_values(root(), L"en-us"));
}

TEST_F(PostinstallRun, StandardUserRegistersInUserKeyWithPerUserLanguage)
{
    write_user_settings("lang=de");
    run(L"postinstall.exe", As::StandardUser);
    expect_registered(kUserScope, expected_values(root(), L"de"));
}

TEST_F(PostinstallRun, DriveRootInstallRootKeepsItsBackslash)
{
    write_user_settings("lang=en-us");
    const std::wstring drive = testsupport::test_drive();
    testsupport::remove_tree(drive + L"\\Framework");

    run(L"postinstall.exe", As::Administrator, L"", 0, drive);

    // The root is used as passed ("D:\"), so its backslash doubles where a separator follows.
    expect_registered(kMachineScope, expected_values(drive + L"\\", L"en-us"));
}

TEST_F(PostinstallRun, EmptyPerUserSettingsFileLeavesLanguageDirectoryWithoutCode)
{
    write_user_settings("");
    run(L"postinstall.exe", As::Administrator, L" ignored arguments");
    expect_registered(kMachineScope, expected_values(root(), L""));
}

TEST_F(PostinstallRun, ReleaseFileTooLargeForMemoryStillRegistersEverything)
{
    write_user_settings("lang=en-us");
    // Sparse, so it costs no disk. The shipped 32-bit program has no room for nearly 2 GiB in its
    // address space: its allocation fails for real. A 64-bit program would find the room, so there
    // the file is made larger than the reader takes at all (5 GiB, past what 32 bits can measure).
    const unsigned long long size = sizeof(void*) == 4 ? 0x7FF00000ull : 5ull << 30;
    ASSERT_TRUE(testsupport::write_sparse_file(root() + L"\\commonfiles\\globalsettings\\relinfo.xml",
                                               "<startMenuFolderName value=\"setupkit huge\"/>", size))
        << "error " << GetLastError();

    run(L"postinstall.exe");
    // Read as a file without the keys: the shortcut lands directly in the Programs folder, and the
    // environment step after it still runs.
    EXPECT_TRUE(testsupport::file_exists(testsupport::all_users_programs_folder() + L"\\Fenwright.lnk"));
    expect_registered(kMachineScope, expected_values(root(), L"en-us"));
}
