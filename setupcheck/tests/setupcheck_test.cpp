// setupcheck run from a real install tree against what the programs registered: a complete
// registration in each scope, none, a half-removed one and a value a user's copy shadows.
#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/suite.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using testsupport::As;
using testsupport::narrow;

namespace {

const wchar_t kFolderName[] = L"setupkit setupcheck_test";

class Setupcheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        clean();
        ASSERT_TRUE(testsupport::place_programs(root(), {L"postinstall.exe", L"preuninstall.exe", L"setupcheck.exe"}))
            << "error " << GetLastError();
        ASSERT_TRUE(testsupport::write_release_information(root(), narrow(kFolderName), "18.1"));
        testsupport::write_bytes(root() + L"\\Framework\\bin\\Win64\\runfen2.exe", "launcher");
    }
    void TearDown() override { clean(); }

    static void clean() { testsupport::forget_suite_registration({kFolderName}); }

    std::wstring root() const { return tree_ / L"Suite\\v182"; }

    void run_program(const wchar_t* program, As as = As::Administrator)
    {
        const std::wstring command = testsupport::program_command(root(), program);
        ASSERT_EQ(0u, testsupport::run_program(command, {as})) << narrow(command);
    }

    // Runs setupcheck, from its place in the tree unless given; its exit status, its output in output_.
    DWORD check(const std::wstring& arguments = L"", const std::wstring& program = L"")
    {
        const std::wstring command = program.empty()
                                         ? testsupport::program_command(root(), L"setupcheck.exe", arguments)
                                         : L"\"" + program + L"\"" + arguments;
        return testsupport::run_program(command, {As::Administrator, false, &output_});
    }

    bool reports(const std::string& text) const { return output_.find(text) != std::string::npos; }

    testsupport::TempDir tree_;
    std::string output_;
};

} // namespace

TEST_F(Setupcheck, RegisteredTreeIsCompleteInEitherScope)
{
    // The keys past the first 8 KiB, behind a zero byte: setupcheck reads the file as the programs do.
    testsupport::write_bytes(root() + L"\\commonfiles\\globalsettings\\relinfo.xml",
                             "<!-- " + std::string(9000, '-') + std::string(1, '\0') + " -->" +
                                 testsupport::release_information(narrow(kFolderName), "18.1"));
    run_program(L"postinstall.exe");
    EXPECT_EQ(0u, check()) << output_;
    EXPECT_TRUE(reports("\n  registered in: machine\nResult: complete and consistent\n")) << output_;
    EXPECT_TRUE(reports("    TALVO_ROOT182     " + narrow(root()) + "  (REG_SZ)\n")) << output_;

    run_program(L"preuninstall.exe");
    run_program(L"postinstall.exe", As::StandardUser);
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
    EXPECT_EQ(1u, check(L" \"" + root() + L"\\\"", testsupport::own_directory() + L"setupcheck.exe")) << output_;
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
