// setupcheck run from a real install tree against what the programs registered: a complete
// registration in each scope, none, and damaged ones that show every kind of finding.
#include "testsupport/installed_suite.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using testsupport::As;
using testsupport::kTestFolderName;
using testsupport::narrow;

namespace {

class Setupcheck : public testsupport::InstalledSuite {
protected:
    void SetUp() override
    {
        InstalledSuite::SetUp();
        if (IsSkipped())
            return;
        release(narrow(kTestFolderName));
        testsupport::write_bytes(root() + L"\\Framework\\bin\\Win64\\runfen2.exe", "launcher");
    }

    // Runs setupcheck from its place in the tree; its exit status, its output in output_.
    DWORD check(const std::wstring& arguments = L"", DWORD expected = 1)
    {
        return run(L"setupcheck.exe", As::Administrator, arguments, expected);
    }

    bool reports(const std::string& text) const { return output_.find(text) != std::string::npos; }
};

} // namespace

TEST_F(Setupcheck, RegisteredTreeIsCompleteInEitherScope)
{
    // The keys past the first 8 KiB, behind a zero byte: setupcheck reads the file as the programs do.
    testsupport::write_bytes(root() + L"\\commonfiles\\globalsettings\\relinfo.xml",
                             "<!-- " + std::string(9000, '-') + std::string(1, '\0') + " -->" +
                                 testsupport::release_information(narrow(kTestFolderName), "18.1"));
    run(L"postinstall.exe");
    check(L"", 0);
    EXPECT_TRUE(reports("\n  registered in: machine\nResult: complete and consistent\n")) << output_;
    EXPECT_TRUE(reports("    TALVO_ROOT182     " + narrow(root()) + "  (REG_SZ)\n")) << output_;

    run(L"preuninstall.exe");
    run(L"postinstall.exe", As::StandardUser);
    check(L"", 0);
    EXPECT_TRUE(reports("\n  registered in: user\nResult: complete and consistent\n")) << output_;
}

TEST_F(Setupcheck, CommandLineOtherThanOneRootIsRefusedOrAnsweredWithHelpOrVersion)
{
    check(L" /unknown", 2);
    check(L" \"" + root() + L"\" second", 2);
    // Too long for MAX_PATH: refused, never cut to a shorter root and checked.
    check(L" \"" + root() + L"\\" + std::wstring(MAX_PATH, L'x') + L"\"", 2);
    check(L" /?", 0);
    EXPECT_TRUE(reports("usage: setupcheck [--json] [INSTALL_ROOT]")) << output_;
    check(L" --version", 0);
    EXPECT_EQ("setupcheck " SETUPKIT_FILE_VERSION "\n", output_);
}

TEST_F(Setupcheck, EveryKindOfFindingIsReportedInTextAndJson)
{
    const std::wstring machine_folder = suite_folder(As::Administrator);
    const std::wstring user_folder = suite_folder(As::StandardUser);
    const std::wstring machine_shortcut = machine_folder + L"\\Fenwright 18.1.lnk";
    const std::wstring user_shortcut = user_folder + L"\\Fenwright 18.1.lnk";
    const std::string machine_key = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const std::string user_key = "HKCU\\Environment";
    const std::string root_text = narrow(root());
    const std::string launcher = root_text + "\\Framework\\bin\\Win64\\runfen2.exe";
    const std::wstring removed_root = tree_ / L"Removed\\v182";
    const std::string kNoFileNameHolds = "(\\ / < > : \" | ? * or a control character)";
    struct Case {
        int round;
        const char* kind;
        std::string text;
    };
    const Case cases[] = {
        {0, "unreadable", "the shortcut " + narrow(machine_shortcut) + " cannot be read"},
        {0, "missing", "missing in user scope: the shortcut " + narrow(user_shortcut)},
        {0, "missing", "P_SCHEMA in " + machine_key + " is not set"},
        {0, "wrong_value", "VELMORA_SYSDIR32 in " + user_key + " is \"win64\", not \"win32\""},
        {0, "wrong_value", "VOSKEL_LIBDIR182 in " + user_key + " is \"" + root_text + "\\Lang\", not \"" + root_text +
                               "\\CommonFiles\\Language\\<language>\""},
        {0, "shadowed", "CORVANE182_DIR: the user value \"" + root_text + "\\B\" shadows the machine value \"" +
                            root_text + "\\A\""},
        {0, "empty_folder", "the start-menu folder " + narrow(user_folder) + " is empty"},
        {0, "empty_folder", "the start-menu folder " + narrow(machine_folder) + "\\TESSAL is empty"},
        {1, "other_root",
         "the shortcut " + narrow(machine_shortcut) + " starts C:\\Other\\runfen2.exe, not this root's " + launcher},
        {1, "target_missing",
         "the shortcut " + narrow(user_shortcut) + " starts " + launcher + ", which does not exist"},
        {1, "wrong_value", "P_SCHEMA in " + machine_key + " is \"" + root_text + "\\wrong\", not \"" + root_text +
                               "\\ORVANE\\CADIntegration\\Parasolid\\PSchema\""},
        {1, "other_root", "TALVO_ROOT182 in " + user_key + " is \"" + narrow(removed_root) +
                              "\", outside this install root (it does not exist: a removed installation?)"},
        {1, "shadowed", "TALVO_ROOT182: the user value \"" + narrow(removed_root) + "\" shadows the machine value \"" +
                            root_text + "\""},
        {2, "not_registered", "not registered: neither scope holds the shortcut Fenwright 18.1.lnk or a variable of "
                              "this install root"},
        {3, "refused_name", "refused in machine scope: the shortcut " + narrow(machine_folder) + "\\Fenwright a|b.lnk: "
                            "the revision suffix holds a character that no file name may hold " + kNoFileNameHolds},
        {3, "refused_name", "refused in user scope: the shortcut " + narrow(user_folder) + "\\Fenwright a|b.lnk: "
                            "the revision suffix holds a character that no file name may hold " + kNoFileNameHolds},
    };
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        clean();
        if (round < 2) {
            run(L"postinstall.exe");
            run(L"postinstall.exe", As::StandardUser);
        }
        if (round == 0) {
            testsupport::write_bytes(machine_shortcut, "not a shortcut");
            testsupport::remove_tree(user_shortcut);
            testsupport::delete_environment_value(kMachineScope, L"P_SCHEMA");
            testsupport::write_environment_string(kUserScope, L"VELMORA_SYSDIR32", L"win64");
            testsupport::write_environment_string(kUserScope, L"VOSKEL_LIBDIR182", root() + L"\\Lang");
            testsupport::write_environment_string(kMachineScope, L"CORVANE182_DIR", root() + L"\\A");
            testsupport::write_environment_string(kUserScope, L"CORVANE182_DIR", root() + L"\\B");
            ASSERT_TRUE(testsupport::make_directories(machine_folder + L"\\TESSAL"));
        } else if (round == 1) {
            ASSERT_TRUE(testsupport::write_shortcut(machine_shortcut, L"C:\\Other\\runfen2.exe"));
            testsupport::remove_tree(root() + L"\\Framework\\bin\\Win64\\runfen2.exe");
            testsupport::write_environment_string(kMachineScope, L"P_SCHEMA", root() + L"\\wrong");
            testsupport::write_environment_string(kUserScope, L"TALVO_ROOT182", removed_root);
        } else if (round == 3) {
            release(narrow(kTestFolderName), "a|b");
            run(L"postinstall.exe");
        }
        // The root given explicitly, from elsewhere, with a trailing backslash.
        const std::wstring elsewhere = L"\"" + testsupport::own_directory() + L"setupcheck.exe\" \"" + root() + L"\\\"";
        EXPECT_EQ(1u, testsupport::run_program(elsewhere, {As::Administrator, false, &output_})) << output_;
        const std::string text = output_;
        check(L" --json");
        EXPECT_TRUE(reports("\"findings\": [{\"kind\": \"") && reports("], \"complete\": false}\n")) << output_;
        const char* registered = round < 2 ? "in: machine and user\n" : round == 2 ? "in: none\n" : "in: machine\n";
        EXPECT_NE(std::string::npos, text.find(registered)) << text;
        for (const Case& finding : cases) {
            if (finding.round != round)
                continue;
            EXPECT_NE(std::string::npos, text.find("\n  " + finding.text + "\n")) << finding.text << "\n" << text;
            std::string json = "{\"kind\": \"" + std::string(finding.kind) + "\", \"text\": \"";
            for (const char c : finding.text) // escaped as a JSON string
                json += c == '\\' || c == '"' ? std::string(1, '\\') + c : std::string(1, c);
            EXPECT_TRUE(reports(json + "\"}")) << json << "\n" << output_;
        }
    }
}
