// The programs' step log, written by the shipped programs run from a real install tree and read
// back here: each step's line with the outcome the system shows, in the programs' order.
#include "testsupport/installed_suite.h"
#include "testsupport/platform.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using testsupport::As;
using testsupport::directory_exists;
using testsupport::file_exists;
using testsupport::kTestFolderName;
using testsupport::listed;
using testsupport::narrow;

namespace {

using ProgramLog = testsupport::InstalledSuite;
using ProgramLogInScope = testsupport::InstalledSuiteInScope;

} // namespace

TEST_P(ProgramLogInScope, LogTellsEveryStepReadBackFromTheSystem)
{
    const bool standard_user = GetParam() == As::StandardUser;
    release(narrow(kTestFolderName));
    const std::wstring log = tree_ / L"logs\\setup \u00FC.log";
    ASSERT_TRUE(testsupport::make_directories(tree_ / L"logs"));

    run(L"postinstall.exe", GetParam(), L" \"/log=" + log + L"\"");
    run(L"preuninstall.exe", GetParam(), L" /LOG=\"" + log + L"\"");

    // Both runs append to the one file.
    const std::vector<std::string> lines = testsupport::log_lines(log);
    ASSERT_EQ(30u, lines.size()) << listed(lines);
    const std::string folder = narrow(suite_folder(GetParam()));
    const std::string key = standard_user ? "HKCU\\Environment"
                                          : "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const std::string both_keys = standard_user ? key : key + " and HKCU\\Environment";
    const std::string scope =
        standard_user ? "user (this user only): the token does not pass the check for BUILTIN\\Administrators"
                      : "machine (all users): the token passes the check for BUILTIN\\Administrators";
    const std::string root_text = narrow(root());
    // Each line matched by its content, once; the start lines by their beginning.
    const std::string all = listed(lines);
    EXPECT_NE(std::string::npos, all.find("\n  postinstall start: version " SETUPKIT_FILE_VERSION ", program \"" +
                                          root_text +
                                          "\\Framework\\bin\\Win64\\setup\\postinstall.exe\", user ")) << all;
    EXPECT_NE(std::string::npos, all.find("\n  preuninstall start: version " SETUPKIT_FILE_VERSION ", program "))
        << all;
    const std::vector<std::string> expected = {
        "postinstall inputs: install root \"" + root_text + "\", start-menu folder \"" + narrow(kTestFolderName) +
            "\", revision suffix \"18.1\"",
        "postinstall scope: " + scope,
        "postinstall shortcut created: " + folder + "\\Fenwright 18.1.lnk -> " + root_text +
            "\\Framework\\bin\\Win64\\runfen2.exe: ok, the file exists and starts that target",
        "postinstall variable set: TALVO_ROOT182 = \"" + root_text + "\" in " + key +
            ": ok, it holds that value (REG_SZ)",
        "postinstall end: exit status 0",
        "preuninstall scope: " + scope,
        "preuninstall end: exit status 0",
    };
    for (const std::string& line : expected)
        EXPECT_EQ(1, std::count(lines.begin(), lines.end(), line)) << line << all;
    for (const std::string& line : lines)
        EXPECT_EQ(std::string::npos, line.find("FAILED")) << line;

    // preuninstall's lines, the log's last, in order: its scope, each step gone (nine shortcuts, five
    // variables in their deletion steps, the two add-on folders, the suite's folder), its end.
    std::vector<std::string> order = {"preuninstall scope: " + scope,
                                      "preuninstall shortcut deleted: " + folder + "\\Fenwright 18.1.lnk: ok, gone"};
    for (const std::wstring& shortcut : testsupport::kAddOnShortcuts)
        order.push_back("preuninstall shortcut deleted: " + folder + "\\" + narrow(shortcut) + " 18.1.lnk: ok, gone");
    for (const char* name : {"TALVO_ROOT182", "CORVANE182_DIR", "P_SCHEMA", "VOSKEL_DOCDIR182", "VOSKEL_LIBDIR182"})
        order.push_back("preuninstall variable deleted: " + std::string(name) + " from " + both_keys + ": ok, gone");
    for (const char* removed : {"\\TESSAL", "\\CORVANE", ""})
        order.push_back("preuninstall folder removed: " + folder + removed + ": ok, gone");
    order.push_back("preuninstall end: exit status 0");
    EXPECT_EQ(listed(order), listed(std::vector<std::string>(lines.end() - order.size(), lines.end())));
}

INSTANTIATE_TEST_SUITE_P(BothScopes, ProgramLogInScope, ::testing::Values(As::Administrator, As::StandardUser),
                         testsupport::AccountName());

TEST_F(ProgramLog, LogShowsTheStepsThatFailedAndTheSystemsReason)
{
    release(narrow(kTestFolderName));
    std::vector<std::string> lines;
    {
        testsupport::DenyingKeyDacl denied(HKEY_LOCAL_MACHINE, testsupport::kMachineEnvironmentKey);
        ASSERT_TRUE(denied.active()) << "error " << denied.error();
        lines = run_logged(L"postinstall.exe");
    }
    ASSERT_EQ(9u, lines.size()) << listed(lines);
    const std::string all = listed(lines);
    EXPECT_NE(std::string::npos, all.find(": ok, the file exists")) << all;
    std::string reason = narrow(testsupport::expected_system_text(ERROR_ACCESS_DENIED));
    reason.erase(reason.find_last_not_of("\r\n") + 1);
    for (const wchar_t* name : testsupport::kPostinstallVariables) {
        const size_t at = all.find("variable set: " + narrow(name) + " = ");
        EXPECT_LT(all.find(": FAILED, cannot read it back (" + reason + ")", at), all.find('\n', at))
            << "the failure is not on the line that sets " << narrow(name) << all;
    }
}

TEST_F(ProgramLog, LogThatCannotBeOpenedOrIsNotTheOnlyArgumentChangesNothing)
{
    release(narrow(kTestFolderName));
    const std::wstring shortcut = suite_folder() + L"\\Fenwright 18.1.lnk";
    run(L"postinstall.exe", As::Administrator, L" \"/log=" + tree_.path() + L"\\no such folder\\setup.log\"");
    EXPECT_TRUE(file_exists(shortcut)) << narrow(shortcut);
    EXPECT_FALSE(directory_exists(tree_ / L"no such folder"));

    run(L"preuninstall.exe", As::Administrator, L" /log=" + tree_.path() + L"\\setup.log /quiet");
    EXPECT_FALSE(file_exists(shortcut)) << narrow(shortcut);
    EXPECT_FALSE(file_exists(tree_ / L"setup.log"));
}
