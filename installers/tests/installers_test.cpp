// The sample installers around the shipped 32-bit programs (signed copies), silently, as
// docs/deploying.md runs them: the per-machine MSI through msiexec as an administrator (a failing
// variant, a major upgrade, repairs, removal, each followed by the package's own broadcast), and the
// NSIS installers per user as a standard user and per machine as an administrator (install, again,
// uninstall). Each registers in its own scope only, complete by the installed setupcheck's and the
// step logs' word; each removal leaves only the variable every release shares.
#include "testsupport/broadcast.h"
#include "testsupport/files.h"
#include "testsupport/platform.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/suite.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <msi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using testsupport::As;
using testsupport::directory_exists;
using testsupport::narrow;
using testsupport::other_scope;
using testsupport::read_environment_value;
using testsupport::read_registry_value;
using testsupport::SettingChange;

namespace {

const wchar_t kFolderName[] = L"VELMORA 18.1";
const wchar_t kUpgradeCode[] = L"{6F0B3B8E-3A52-4C3D-9B0E-2D6A57C1F182}"; // sample-suite.wxs's
const wchar_t kShortcut[] = L"\\Fenwright 18.1.lnk";
const wchar_t kUninstallEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VELMORA 18.1 sample";

As account(Scope scope)
{
    return scope == kMachineScope ? As::Administrator : As::StandardUser;
}

std::wstring suite_folder(Scope scope)
{
    return testsupport::programs_folder(account(scope)) + L"\\" + kFolderName;
}

// A file in the installing account's temporary folder, where the samples' programs append their step
// logs (velmora-<program>.log).
std::wstring in_temp_folder(const std::wstring& name)
{
    wchar_t folder[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, folder);
    return folder + name;
}

std::wstring step_log(const wchar_t* program)
{
    return in_temp_folder(L"velmora-" + std::wstring(program) + L".log");
}

// msiexec as docs/deploying.md gives it (an administrator, silent, verbose log), waited for with all it started.
DWORD msiexec(const std::wstring& arguments)
{
    return testsupport::run_program(
        L"msiexec " + arguments + L" /qn /l*v \"" + in_temp_folder(L"sample-suite-msi.log") + L"\"",
        {As::Administrator, true});
}

std::wstring sample_package(const wchar_t* name = L"sample-suite.msi")
{
    return L"\"" + testsupport::own_directory() + name + L"\"";
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

// Makes a program's image an older build of the same product version: the fourth field of its fixed
// file version, the build number, one lower. False when there is no build number above 0 to lower.
bool lower_build_number(std::string& image)
{
    VS_FIXEDFILEINFO fixed = {};
    const size_t at = image.find(std::string("\xBD\x04\xEF\xFE", 4)); // its signature, 0xFEEF04BD
    if (at == std::string::npos || at + sizeof(fixed) > image.size())
        return false;
    memcpy(&fixed, image.data() + at, sizeof(fixed));
    if (LOWORD(fixed.dwFileVersionLS) == 0)
        return false;
    fixed.dwFileVersionLS -= 1;
    memcpy(&image[at], &fixed, sizeof(fixed));
    return true;
}

// Which program of the suite runs while a broadcast arrives: the sender, as each waits for its
// broadcast to be handled; none for the package's own action, which msiexec runs.
std::wstring running_suite_program()
{
    for (const wchar_t* program : {L"postinstall.exe", L"preuninstall.exe"}) {
        if (!testsupport::process_ids_named(program).empty())
            return program;
    }
    return L"none";
}

// The last broadcast came while no program of the suite ran, after `program`'s own; then forgets them.
void expect_package_broadcast_after(const wchar_t* program, testsupport::BroadcastReceiver& receiver)
{
    const std::vector<SettingChange> changes = receiver.received();
    std::string seen;
    for (const SettingChange& change : changes)
        seen += " " + narrow(change.area + L" during " + change.snapshot) + ";";
    ASSERT_GE(changes.size(), 2u) << seen;
    EXPECT_EQ("Environment", narrow(changes.back().area)) << seen;
    EXPECT_EQ("none", narrow(changes.back().snapshot)) << seen;
    EXPECT_TRUE(std::any_of(changes.begin(), changes.end() - 1,
                            [&](const SettingChange& change) { return change.snapshot == program; })) << seen;
    receiver.clear();
}

class SampleInstaller : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this machine's installed products and registration");
        remove_sample_products();
    }
    void TearDown() override { if (testsupport::this_machine_may_change()) remove_sample_products(); }

    // What an earlier run or case left: the sample MSI's products, removed by product code as found
    // (Wine's msiexec /x of a product that is not installed never returns), and the registration.
    static void remove_sample_products()
    {
        std::vector<std::wstring> left;
        installed_sample_versions(&left);
        for (const std::wstring& product : left)
            msiexec(L"/x " + product);
        testsupport::forget_suite_registration({kFolderName});
        for (const wchar_t* program : {L"postinstall", L"preuninstall"})
            DeleteFileW(step_log(program).c_str());
    }

    // The step log that the installed `program` appended: its start line names the program below
    // `root`, its last line is the end line, and no step failed.
    static void expect_step_log(const wchar_t* program, const std::wstring& root)
    {
        const std::vector<std::string> lines = testsupport::log_lines(step_log(program));
        const std::string all = narrow(step_log(program)) + ":" + testsupport::listed(lines);
        const std::wstring path = root + testsupport::kSetupBelowRoot + program + L".exe";
        EXPECT_NE(std::string::npos, all.find(" start: version ")) << all;
        EXPECT_NE(std::string::npos, all.find(", program \"" + narrow(path) + "\"")) << all;
        EXPECT_EQ(narrow(program) + " end: exit status 0", lines.empty() ? "" : lines.back()) << all;
        EXPECT_EQ(std::string::npos, all.find("FAILED")) << all;
    }

    // Registered: the shortcut and the four variables from `root` in one scope, the installed
    // setupcheck finds the registration complete, and postinstall's step log says so. Removed: no
    // suite folder, no programs, of the variables only the shared one, and preuninstall's step log.
    // Either way nothing in the other scope.
    static void expect_registration(Scope scope, const std::wstring& root, bool registered)
    {
        EXPECT_FALSE(directory_exists(suite_folder(other_scope(scope)))) << narrow(suite_folder(other_scope(scope)));
        for (const wchar_t* name : testsupport::kPostinstallVariables) {
            const bool kept = registered || wcscmp(name, testsupport::kSharedVariable) == 0;
            EXPECT_EQ(kept, read_environment_value(scope, name).exists) << narrow(name);
            EXPECT_FALSE(read_environment_value(other_scope(scope), name).exists) << narrow(name);
        }
        // The installed setupcheck, which finds the root above itself; once it is gone, the one beside
        // this test, given the root.
        const std::wstring setupcheck =
            registered ? testsupport::program_command(root, L"setupcheck.exe")
                       : L"\"" + testsupport::own_directory() + L"setupcheck.exe\" \"" + root + L"\"";
        std::string report;
        EXPECT_EQ(registered ? 0u : 1u, testsupport::run_program(setupcheck, {account(scope), false, &report}))
            << report;
        expect_step_log(registered ? L"postinstall" : L"preuninstall", root);
        if (registered) {
            const auto shortcut = testsupport::read_shortcut(suite_folder(scope) + kShortcut);
            EXPECT_TRUE(shortcut.ok()) << narrow(suite_folder(scope)) << " status " << shortcut.status;
            EXPECT_EQ(narrow(root + L"\\Framework\\bin\\Win64\\runfen2.exe"), narrow(shortcut.target));
            EXPECT_EQ(narrow(root), narrow(read_environment_value(scope, L"TALVO_ROOT182").text()));
        } else {
            EXPECT_FALSE(directory_exists(suite_folder(scope))) << narrow(suite_folder(scope));
            // Not the whole tree: Wine's msiexec removes each component's own folder but leaves the
            // emptied folders above it.
            EXPECT_FALSE(directory_exists(root + L"\\Framework\\bin\\Win64\\setup")) << narrow(root);
        }
    }

    // What a user may delete: the shortcut and one of the variables.
    static void lose_part_of_registration(Scope scope)
    {
        ASSERT_TRUE(DeleteFileW((suite_folder(scope) + kShortcut).c_str())) << GetLastError();
        testsupport::delete_environment_value(scope, L"P_SCHEMA");
    }
};

} // namespace

// The MSI's life cycle, a step a case; each case installs what it starts from.
class SampleMsi : public SampleInstaller {
protected:
    const std::wstring root_ = testsupport::sample_install_root(kMachineScope);
    testsupport::BroadcastReceiver receiver_{running_suite_program};
};

// Failing after postinstall (the test-only variant's extra action), Windows Installer runs the rollback
// script, whose UndoPostinstall runs preuninstall: nothing stays registered. Wine 8's msiexec runs no
// rollback action (measured: preuninstall does not start), so there the registration stays.
TEST_F(SampleMsi, FailedInstallEndsUninstalledAndRollsBackPostinstall)
{
    EXPECT_NE(0u, msiexec(L"/i " + sample_package(L"sample-suite-failing.msi")));
    EXPECT_EQ("", narrow(installed_sample_versions()));
    expect_step_log(L"postinstall", root_);
    const bool rolled_back = !testsupport::running_under_wine();
    EXPECT_EQ(rolled_back, testsupport::file_exists(step_log(L"preuninstall")));
    EXPECT_EQ(!rolled_back, read_environment_value(kMachineScope, L"TALVO_ROOT182").exists);
}

// The newer build removes the older one first, whose preuninstall undoes the registration that this
// build's postinstall then makes again.
TEST_F(SampleMsi, MajorUpgradeLeavesOneProductRegisteredByTheNewBuild)
{
    ASSERT_TRUE(receiver_.ready());
    ASSERT_EQ(0u, msiexec(L"/i " + sample_package(L"previous\\sample-suite.msi")));
    ASSERT_EQ(narrow(SETUPKIT_PREVIOUS_VERSION L" "), narrow(installed_sample_versions()));
    receiver_.clear();
    ASSERT_EQ(0u, msiexec(L"/i " + sample_package()));
    EXPECT_EQ(narrow(SETUPKIT_VERSION L" "), narrow(installed_sample_versions()));
    expect_registration(kMachineScope, root_, true);
    expect_package_broadcast_after(L"postinstall.exe", receiver_);
    expect_step_log(L"preuninstall", root_); // the older build's
}

// A repair runs postinstall again, which restores what was deleted, and not preuninstall, which would
// undo the suite. The properties are those of msiexec /fa, which Wine's msiexec does not carry out
// (1605). The default file rule ("o": replace a file that is missing or older) goes by the version: a
// program of the same build on disk stays, however its bytes differ; an older build's gives way.
TEST_F(SampleMsi, RepairRestoresTheRegistrationAndReplacesOnlyAnOlderBuild)
{
    ASSERT_TRUE(receiver_.ready());
    ASSERT_EQ(0u, msiexec(L"/i " + sample_package()));
    receiver_.clear();
    const std::wstring program = root_ + L"\\Framework\\bin\\Win64\\setup\\postinstall.exe";
    const std::string shipped = testsupport::read_bytes(program);
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "after a repair over an older build" : "after a repair over the same build, altered");
        std::string on_disk = shipped + "altered";
        ASSERT_TRUE(!older || lower_build_number(on_disk))
            << "the shipped postinstall.exe has no build number (FILEVERSION's fourth field) of 1 or more";
        testsupport::write_bytes(program, on_disk);
        lose_part_of_registration(kMachineScope);
        ASSERT_EQ(0u, msiexec(L"/i " + sample_package() + L" REINSTALL=ALL REINSTALLMODE=omus"));
        EXPECT_TRUE((older ? shipped : on_disk) == testsupport::read_bytes(program))
            << (older ? "the older build was not replaced" : "the same build was replaced");
        expect_registration(kMachineScope, root_, true);
        expect_package_broadcast_after(L"postinstall.exe", receiver_);
    }
    EXPECT_FALSE(testsupport::file_exists(step_log(L"preuninstall")));
}

TEST_F(SampleMsi, RemovalUnregistersLeavingTheSharedVariable)
{
    ASSERT_TRUE(receiver_.ready());
    ASSERT_EQ(0u, msiexec(L"/i " + sample_package()));
    receiver_.clear();
    ASSERT_EQ(0u, msiexec(L"/x " + sample_package()));
    EXPECT_EQ("", narrow(installed_sample_versions()));
    expect_registration(kMachineScope, root_, false);
    expect_package_broadcast_after(L"preuninstall.exe", receiver_);
}

// Parameter: the scope an NSIS sample installs for, per user as a standard user (sample-suite.nsi),
// per machine as an administrator (sample-suite-machine.nsi).
class SampleNsis : public SampleInstaller, public ::testing::WithParamInterface<Scope> {};

TEST_P(SampleNsis, RegistersInItsScopeAgainWhenRerunAndItsUninstallerRunsPreuninstallBeforeRemovingFiles)
{
    const Scope scope = GetParam();
    const std::wstring root = testsupport::sample_install_root(scope);
    testsupport::remove_tree(root);
    const HKEY own_entries = scope == kMachineScope ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const HKEY other_entries = scope == kMachineScope ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::wstring installer = L"\"" + testsupport::own_directory() +
                                   (scope == kMachineScope ? L"sample-suite-machine.exe" : L"sample-suite-user.exe") +
                                   L"\" /S";
    const testsupport::RunOptions until_all_ended{account(scope), true};
    // After each run: registered or removed, and in the installed apps of its own scope only.
    const auto expect_installed = [&](const char* moment, bool installed) {
        SCOPED_TRACE(moment);
        expect_registration(scope, root, installed);
        EXPECT_EQ(installed, read_registry_value(own_entries, kUninstallEntry, L"QuietUninstallString").exists);
        EXPECT_FALSE(read_registry_value(other_entries, kUninstallEntry, L"QuietUninstallString").exists);
    };
    EXPECT_EQ(0u, testsupport::run_program(installer, until_all_ended));
    expect_installed("after the installer", true);
    // Run again over the installation, the installer runs postinstall again, which restores what
    // was deleted and keeps the rest.
    lose_part_of_registration(scope);
    EXPECT_EQ(0u, testsupport::run_program(installer, until_all_ended));
    expect_installed("after the installer run again", true);
    // The uninstaller returns once it has started its copy in %TEMP%, which runs preuninstall. Had the
    // files gone first, preuninstall could not have run, and the variables would remain.
    EXPECT_EQ(0u, testsupport::run_program(L"\"" + root + L"\\uninstall.exe\" /S", until_all_ended));
    expect_installed("after the uninstaller", false);
}

INSTANTIATE_TEST_SUITE_P(BothScopes, SampleNsis, ::testing::Values(kUserScope, kMachineScope),
                         [](const ::testing::TestParamInfo<Scope>& info) {
                             return std::string(info.param == kMachineScope ? "PerMachine" : "PerUser");
                         });
