// setupcheck run from a real install tree against what the programs registered: a complete
// registration in each scope, none, a half-removed one and a value a user's copy shadows.
#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/standard_user.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using testsupport::narrow;

namespace {

const wchar_t kFolderName[] = L"setupkit setupcheck_test";
const wchar_t kSetupBelowRoot[] = L"\\Framework\\bin\\Win64\\setup\\";

class Setupcheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        clean();
        for (const wchar_t* program : {L"postinstall.exe", L"preuninstall.exe", L"setupcheck.exe"}) {
            const std::wstring placed = root() + kSetupBelowRoot + program;
            ASSERT_TRUE(testsupport::copy_file(testsupport::own_directory() + program, placed)) << narrow(placed);
        }
        testsupport::write_bytes(root() + L"\\commonfiles\\globalsettings\\relinfo.xml",
                                 "<releaseInformation>\r\n  <startMenuFolderName value=\"" + narrow(kFolderName) +
                                     "\"/>\r\n  <startMenuShortcutAppendRevision value=\"18.1\"/>\r\n"
                                     "</releaseInformation>\r\n");
        testsupport::write_bytes(root() + L"\\Framework\\bin\\Win64\\runfen2.exe", "launcher");
    }
    void TearDown() override { clean(); }

    static void clean()
    {
        testsupport::remove_tree(testsupport::all_users_programs_folder() + L"\\" + kFolderName);
        testsupport::remove_tree(testsupport::user_programs_folder() + L"\\" + kFolderName);
        for (const wchar_t* name : testsupport::kSuiteVariables)
            testsupport::forget_environment_variable(name);
    }

    std::wstring root() const { return tree_ / L"Suite\\v182"; }

    void run_program(const wchar_t* program, bool standard_user = false)
    {
        const std::wstring command = L"\"" + root() + kSetupBelowRoot + program + L"\"";
        HANDLE token = standard_user ? testsupport::create_standard_user_token() : nullptr;
        const DWORD status =
            standard_user ? testsupport::run_and_wait_as(token, command) : testsupport::run_and_wait(command);
        if (token)
            CloseHandle(token);
        ASSERT_EQ(0u, status) << narrow(command);
    }

    // Runs setupcheck from its place in the tree; its exit status, its output in output_.
    DWORD check(const std::wstring& arguments = L"")
    {
        return testsupport::run_and_capture(L"\"" + root() + kSetupBelowRoot + L"setupcheck.exe\"" + arguments,
                                            output_);
    }

    bool reports(const std::string& text) const { return output_.find(text) != std::string::npos; }

    testsupport::TempDir tree_;
    std::string output_;
};

} // namespace

TEST_F(Setupcheck, RegisteredTreeIsCompleteInEitherScope)
{
    run_program(L"postinstall.exe");
    EXPECT_EQ(0u, check()) << output_;
    EXPECT_TRUE(reports("\n  registered in: machine\nResult: complete and consistent\n")) << output_;
    EXPECT_TRUE(reports("    TALVO_ROOT182     " + narrow(root()) + "  (REG_SZ)\n")) << output_;

    run_program(L"preuninstall.exe");
    run_program(L"postinstall.exe", true);
    EXPECT_EQ(0u, check()) << output_;
    EXPECT_TRUE(reports("\n  registered in: user\nResult: complete and consistent\n")) << output_;
}

TEST_F(Setupcheck, UnregisteredTreeAndBadUsage)
{
    EXPECT_EQ(1u, check(L" --json")) << output_;
    EXPECT_TRUE(reports("\"registered_in\": \"none\", \"findings\": [{\"kind\": \"not_registered\"")) << output_;
    EXPECT_TRUE(reports("\"complete\": false}")) << output_;

    EXPECT_EQ(2u, check(L" /unknown")) << output_;
    EXPECT_EQ(2u, check(L" \"" + root() + L"\" second")) << output_;
    EXPECT_EQ(0u, check(L" /?")) << output_;
    EXPECT_TRUE(reports("usage: setupcheck [--json] [INSTALL_ROOT]")) << output_;
}

TEST_F(Setupcheck, HalfRemovedRegistrationNamesWhatIsMissing)
{
    run_program(L"postinstall.exe");
    const std::wstring folder = testsupport::all_users_programs_folder() + L"\\" + kFolderName;
    testsupport::remove_tree(folder + L"\\Fenwright 18.1.lnk");
    testsupport::delete_environment_value(true, L"P_SCHEMA");

    // The root given explicitly, from elsewhere, with a trailing backslash.
    EXPECT_EQ(1u,
              testsupport::run_and_capture(
                  L"\"" + testsupport::own_directory() + L"setupcheck.exe\" \"" + root() + L"\\\"", output_));
    EXPECT_TRUE(reports("\n  missing in machine scope: the shortcut " + narrow(folder) + "\\Fenwright 18.1.lnk\n"))
        << output_;
    EXPECT_TRUE(reports("\n  P_SCHEMA in HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment is "
                        "not set\n"))
        << output_;
    EXPECT_TRUE(reports("\n  the start-menu folder " + narrow(folder) + " is empty\n")) << output_;
    EXPECT_TRUE(reports("Result: incomplete or inconsistent, 3 findings\n")) << output_;
}

TEST_F(Setupcheck, UserValueShadowingTheMachineValueIsReported)
{
    run_program(L"postinstall.exe");
    const std::wstring removed_root = tree_ / L"Removed\\v182";
    ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(false, L"TALVO_ROOT182", removed_root));

    EXPECT_EQ(1u, check(L" --json")) << output_;
    EXPECT_TRUE(reports("{\"kind\": \"shadowed\", \"text\": \"TALVO_ROOT182: the user value")) << output_;
    EXPECT_TRUE(reports("{\"kind\": \"other_root\", \"text\": \"TALVO_ROOT182 in HKCU\\\\Environment is")) << output_;
    EXPECT_TRUE(reports("(it does not exist: a removed installation?)")) << output_;
    EXPECT_TRUE(reports("\"registered_in\": \"machine\"")) << output_;
}
