// The sample installers around the shipped 32-bit programs (signed copies), through their life
// cycle, silently: the per-machine MSI through msiexec as an administrator (install of the previous
// build, major upgrade, repair, removal), the per-user NSIS installer as a standard user (install,
// the same installer again, uninstall). Each registers in its own scope only, complete by the
// installed setupcheck's word; each removal leaves only the variable every release shares.
#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/suite.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <msi.h>

#include <string>
#include <vector>

using testsupport::As;
using testsupport::directory_exists;
using testsupport::narrow;
using testsupport::other_scope;
using testsupport::read_environment_value;

namespace {

const wchar_t kFolderName[] = L"VELMORA 18.1";
const wchar_t kUpgradeCode[] = L"{6F0B3B8E-3A52-4C3D-9B0E-2D6A57C1F182}"; // sample-suite.wxs's
const wchar_t kShortcut[] = L"\\Fenwright 18.1.lnk";

As account(Scope scope)
{
    return scope == kMachineScope ? As::Administrator : As::StandardUser;
}

std::wstring suite_folder(Scope scope)
{
    return testsupport::programs_folder(account(scope)) + L"\\" + kFolderName;
}

// Runs an installer as `as` until it and everything it started have ended; its exit status.
DWORD install(const std::wstring& command_line, As as)
{
    return testsupport::run_program(command_line, {as, true});
}

// The installed products of the sample MSI's upgrade code: their versions, each followed by a space,
// and their product codes.
std::wstring installed_sample_versions(std::vector<std::wstring>* codes = nullptr)
{
    std::wstring versions;
    wchar_t code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) {
        wchar_t version[32] = L"";
        DWORD size = 32;
        MsiGetProductInfoW(code, INSTALLPROPERTY_VERSIONSTRING, version, &size);
        versions += std::wstring(version) + L" ";
        if (codes)
            codes->push_back(code);
    }
    return versions;
}

class SampleInstaller : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this machine's installed products and registration");
        forget_registration();
    }
    void TearDown() override { if (testsupport::this_machine_may_change()) forget_registration(); }

    static void forget_registration() { testsupport::forget_suite_registration({kFolderName}); }

    // The shortcut and the four variables from `root` in one scope, nothing in the other, and the
    // installed setupcheck finds the registration complete.
    static void expect_registered(Scope scope, const std::wstring& root)
    {
        const testsupport::ShortcutProperties shortcut = testsupport::read_shortcut(suite_folder(scope) + kShortcut);
        EXPECT_TRUE(shortcut.ok()) << narrow(suite_folder(scope)) << " status " << shortcut.status;
        EXPECT_EQ(narrow(root + L"\\Framework\\bin\\Win64\\runfen2.exe"), narrow(shortcut.target));
        EXPECT_FALSE(directory_exists(suite_folder(other_scope(scope)))) << narrow(suite_folder(other_scope(scope)));
        for (const wchar_t* name : testsupport::kPostinstallVariables) {
            EXPECT_TRUE(read_environment_value(scope, name).exists) << narrow(name);
            EXPECT_FALSE(read_environment_value(other_scope(scope), name).exists) << narrow(name);
        }
        EXPECT_EQ(narrow(root), narrow(read_environment_value(scope, L"TALVO_ROOT182").text()));
        // The installed setupcheck, which finds the root above itself.
        std::string report;
        EXPECT_EQ(0u, testsupport::run_program(testsupport::program_command(root, L"setupcheck.exe"),
                                               {account(scope), false, &report})) << report;
    }

    // What a user may delete: the shortcut and one of the variables.
    static void lose_part_of_registration(Scope scope)
    {
        ASSERT_TRUE(DeleteFileW((suite_folder(scope) + kShortcut).c_str())) << GetLastError();
        testsupport::delete_environment_value(scope, L"P_SCHEMA");
    }

    // No suite folder, no programs, and of the variables only the shared one in its scope.
    static void expect_removed(Scope scope, const std::wstring& root)
    {
        EXPECT_FALSE(directory_exists(suite_folder(kMachineScope))) << narrow(suite_folder(kMachineScope));
        EXPECT_FALSE(directory_exists(suite_folder(kUserScope))) << narrow(suite_folder(kUserScope));
        // Not the whole tree: Wine's msiexec removes each component's own folder but leaves the
        // emptied folders above it.
        EXPECT_FALSE(directory_exists(root + L"\\Framework\\bin\\Win64\\setup")) << narrow(root);
        for (const wchar_t* name : testsupport::kPostinstallVariables) {
            const bool shared = wcscmp(name, testsupport::kSharedVariable) == 0;
            EXPECT_EQ(shared, read_environment_value(scope, name).exists) << narrow(name);
            EXPECT_FALSE(read_environment_value(other_scope(scope), name).exists) << narrow(name);
        }
        // The installed one is gone: the one beside this test, given the root.
        const std::wstring setupcheck = L"\"" + testsupport::own_directory() + L"setupcheck.exe\" \"" + root + L"\"";
        std::string report;
        EXPECT_EQ(1u, testsupport::run_program(setupcheck, {account(scope), false, &report})) << report;
    }
};

} // namespace

TEST_F(SampleInstaller, MsiUpgradesTheBuildBeforeAndRepairsAndItsRemovalLeavesTheSharedVariable)
{
    const std::wstring package = L"\"" + testsupport::own_directory() + L"sample-suite.msi\"";
    const std::wstring previous = L"\"" + testsupport::own_directory() + L"previous\\sample-suite.msi\"";
    const std::wstring root = testsupport::sample_install_root(kMachineScope);
    // A run that stopped half-way must not leave a product installed. Removed by product code, as
    // found: Wine's msiexec /x of a product that is not installed never returns.
    std::vector<std::wstring> left;
    installed_sample_versions(&left);
    for (const std::wstring& product : left)
        install(L"msiexec /x " + product + L" /qn", As::Administrator);

    ASSERT_EQ(0u, install(L"msiexec /i " + previous + L" /qn", As::Administrator));
    ASSERT_EQ(narrow(SETUPKIT_PREVIOUS_VERSION L" "), narrow(installed_sample_versions()));
    // The newer build removes the older one first, whose preuninstall undoes the registration that
    // this build's postinstall then makes again.
    ASSERT_EQ(0u, install(L"msiexec /i " + package + L" /qn", As::Administrator));
    EXPECT_EQ(narrow(SETUPKIT_VERSION L" "), narrow(installed_sample_versions()));
    {
        SCOPED_TRACE("after the major upgrade");
        expect_registered(kMachineScope, root);
    }
    // A repair runs postinstall again, which restores what was deleted, and not preuninstall, which
    // would undo the suite. The properties are those of msiexec /fa, which Wine's msiexec does not
    // carry out (1605).
    lose_part_of_registration(kMachineScope);
    ASSERT_EQ(0u, install(L"msiexec /i " + package + L" REINSTALL=ALL REINSTALLMODE=omus /qn", As::Administrator));
    {
        SCOPED_TRACE("after a repair");
        expect_registered(kMachineScope, root);
    }
    ASSERT_EQ(0u, install(L"msiexec /x " + package + L" /qn", As::Administrator));
    EXPECT_EQ("", narrow(installed_sample_versions()));
    SCOPED_TRACE("after msiexec /x");
    expect_removed(kMachineScope, root);
}

TEST_F(SampleInstaller, NsisRegistersForTheStandardUserAgainWhenRerunAndItsUninstallerLeavesTheSharedVariable)
{
    const std::wstring root = testsupport::sample_install_root(kUserScope);
    testsupport::remove_tree(root);

    const std::wstring installer = L"\"" + testsupport::own_directory() + L"sample-suite-user.exe\" /S";
    EXPECT_EQ(0u, install(installer, As::StandardUser));
    {
        SCOPED_TRACE("after the installer");
        expect_registered(kUserScope, root);
    }
    // Run again over the installation, the installer runs postinstall again, which restores what
    // was deleted and keeps the rest.
    lose_part_of_registration(kUserScope);
    EXPECT_EQ(0u, install(installer, As::StandardUser));
    {
        SCOPED_TRACE("after the installer run again");
        expect_registered(kUserScope, root);
    }
    // The uninstaller returns once it has started its copy in %TEMP%, which runs preuninstall.
    EXPECT_EQ(0u, install(L"\"" + root + L"\\uninstall.exe\" /S", As::StandardUser));
    {
        SCOPED_TRACE("after the uninstaller");
        expect_removed(kUserScope, root);
    }
}
