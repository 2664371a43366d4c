// The sample installers around the shipped 32-bit programs, installed and removed silently: the
// per-machine MSI through msiexec as an administrator, the per-user NSIS installer as a standard
// user. Each registers in its own scope only; each removal leaves only the variable every release
// shares.
#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/suite.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <msi.h>
#include <shlobj.h>

#include <string>

using testsupport::As;
using testsupport::directory_exists;
using testsupport::narrow;
using testsupport::other_scope;
using testsupport::read_environment_value;

namespace {

const wchar_t kFolderName[] = L"VELMORA 18.1";
const wchar_t kRootBelowFolder[] = L"\\Sample Suite\\v182";
const wchar_t kProductCode[] = L"{EF3FC1BB-47D8-46CC-BD99-6CAA71CA3245}"; // sample-suite.wxs's

std::wstring shell_folder(int csidl)
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring suite_folder(Scope scope)
{
    return testsupport::programs_folder(scope == kMachineScope ? As::Administrator : As::StandardUser) + L"\\" +
           kFolderName;
}

// Runs an installer as `as` until it and everything it started have ended; its exit status.
DWORD install(const std::wstring& command_line, As as)
{
    return testsupport::run_program(command_line, {as, true});
}

class SampleInstaller : public ::testing::Test {
protected:
    void SetUp() override { forget_registration(); }
    void TearDown() override { forget_registration(); }

    static void forget_registration() { testsupport::forget_suite_registration({kFolderName}); }

    // The shortcut and the four variables from `root` in one scope, nothing in the other.
    static void expect_registered(Scope scope, const std::wstring& root)
    {
        const testsupport::ShortcutProperties shortcut =
            testsupport::read_shortcut(suite_folder(scope) + L"\\Fenwright 18.1.lnk");
        EXPECT_TRUE(shortcut.ok()) << narrow(suite_folder(scope)) << " status " << shortcut.status;
        EXPECT_EQ(narrow(root + L"\\Framework\\bin\\Win64\\runfen2.exe"), narrow(shortcut.target));
        EXPECT_FALSE(directory_exists(suite_folder(other_scope(scope)))) << narrow(suite_folder(other_scope(scope)));
        for (const wchar_t* name : testsupport::kPostinstallVariables) {
            EXPECT_TRUE(read_environment_value(scope, name).exists) << narrow(name);
            EXPECT_FALSE(read_environment_value(other_scope(scope), name).exists) << narrow(name);
        }
        EXPECT_EQ(narrow(root), narrow(read_environment_value(scope, L"TALVO_ROOT182").text()));
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
    }
};

} // namespace

TEST_F(SampleInstaller, MsiRegistersForAllUsersAndItsRemovalLeavesTheSharedVariable)
{
    const std::wstring package = L"\"" + testsupport::own_directory() + L"sample-suite.msi\"";
    const std::wstring root = shell_folder(CSIDL_PROGRAM_FILESX86) + kRootBelowFolder;
    // A run that stopped half-way must not leave the product installed: /i would then repair it.
    // Asked first, since Wine's msiexec /x of a product that is not installed never returns.
    if (MsiQueryProductStateW(kProductCode) != INSTALLSTATE_UNKNOWN)
        install(L"msiexec /x " + package + L" /qn", As::Administrator);

    ASSERT_EQ(0u, install(L"msiexec /i " + package + L" /qn", As::Administrator));
    {
        SCOPED_TRACE("after msiexec /i");
        expect_registered(kMachineScope, root);
    }
    // A repair runs the sequence again: preuninstall must not run then, or it undoes the suite. The
    // properties are those of msiexec /fa, which Wine's msiexec does not carry out (1605).
    ASSERT_EQ(0u, install(L"msiexec /i " + package + L" REINSTALL=ALL REINSTALLMODE=omus /qn", As::Administrator));
    {
        SCOPED_TRACE("after a repair");
        expect_registered(kMachineScope, root);
    }
    ASSERT_EQ(0u, install(L"msiexec /x " + package + L" /qn", As::Administrator));
    SCOPED_TRACE("after msiexec /x");
    expect_removed(kMachineScope, root);
}

TEST_F(SampleInstaller, NsisRegistersForTheStandardUserAndItsUninstallerLeavesTheSharedVariable)
{
    const std::wstring root = shell_folder(CSIDL_LOCAL_APPDATA) + kRootBelowFolder;
    testsupport::remove_tree(root);

    const std::wstring installer = L"\"" + testsupport::own_directory() + L"sample-suite-user.exe\" /S";
    EXPECT_EQ(0u, install(installer, As::StandardUser));
    {
        SCOPED_TRACE("after the installer");
        expect_registered(kUserScope, root);
    }
    // The uninstaller returns once it has started its copy in %TEMP%, which runs preuninstall.
    EXPECT_EQ(0u, install(L"\"" + root + L"\\uninstall.exe\" /S", As::StandardUser));
    {
        SCOPED_TRACE("after the uninstaller");
        expect_removed(kUserScope, root);
    }
}
