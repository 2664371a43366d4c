// postinstall run as the installer runs it: copied into a laid-out install tree, four folder levels
// below the install root, by an administrator and by a standard user.
#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/suite.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

using testsupport::As;
using testsupport::TempDir;
using testsupport::directory_exists;
using testsupport::file_exists;
using testsupport::listed;
using testsupport::narrow;

namespace {

const wchar_t kFolderName[] = L"setupkit postinstall_test";
// "setupkit Fenwright Ü 日本" in UTF-16 and in the UTF-8 of the release-information file.
const wchar_t kNonAsciiFolderName[] = L"setupkit Fenwright \u00DC \u65E5\u672C";
const char kNonAsciiFolderNameUtf8[] = "setupkit Fenwright \xC3\x9C \xE6\x97\xA5\xE6\x9C\xAC";
const wchar_t kGlobalSettings[] = L"\\commonfiles\\globalsettings";

class Postinstall : public ::testing::TestWithParam<As> {
protected:
    void SetUp() override
    {
        SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this machine's environment key and all-users Start Menu");
        clean();
        ASSERT_TRUE(testsupport::place_programs(root(), {L"postinstall.exe"})) << "error " << GetLastError();
    }
    void TearDown() override { if (testsupport::this_machine_may_change()) clean(); }

    static void clean() { testsupport::forget_suite_registration({kFolderName, kNonAsciiFolderName}); }

    std::wstring own_programs() const { return testsupport::programs_folder(GetParam()); }
    std::wstring other_programs() const { return testsupport::other_programs_folder(GetParam()); }

    std::wstring root() const { return temp_ / L"Suite Root\\v182"; }
    std::wstring launcher() const { return root() + L"\\Framework\\bin\\Win64\\runfen2.exe"; }

    // Runs the program in this case's scope; its exit status.
    DWORD run(const std::wstring& arguments = L"")
    {
        return testsupport::run_program(testsupport::program_command(root(), L"postinstall.exe", arguments),
                                        {GetParam()});
    }

    // The main shortcut at `link`, read back, is the one that starts the launcher of this tree.
    void expect_main_shortcut(const std::wstring& link)
    {
        ASSERT_TRUE(file_exists(link)) << narrow(link) << "; the scope's Programs folder holds "
                                       << listed(testsupport::find_shortcuts(own_programs()));
        const testsupport::ShortcutProperties shortcut = testsupport::read_shortcut(link);
        ASSERT_TRUE(shortcut.ok()) << narrow(link) << ": " << shortcut.failed_call << " 0x" << std::hex << shortcut.status;
        // Wine's SetPath drops the quote characters around the target; Windows may keep them.
        EXPECT_TRUE(shortcut.target == launcher() || shortcut.target == L"\"" + launcher() + L"\"")
            << narrow(shortcut.target);
        EXPECT_EQ(L"", shortcut.arguments);
        EXPECT_EQ(L"%HOMEDRIVE%%HOMEPATH%", shortcut.working_directory) << "must stay unexpanded";
        EXPECT_EQ(L"Start VELMORA Fenwright", shortcut.description);
        EXPECT_EQ(L"", shortcut.icon_path);
        EXPECT_EQ(0, shortcut.icon_index);
        EXPECT_EQ(SW_SHOWNORMAL, shortcut.show_command);
        EXPECT_EQ(SW_SHOWNORMAL, shortcut.stored_show_command);
    }

    TempDir temp_;
};

} // namespace

TEST_P(Postinstall, CreatesMainShortcutInScopesProgramsFolderOnly)
{
    ASSERT_TRUE(testsupport::write_release_information(root(), "setupkit postinstall_test", "R1"));
    EXPECT_EQ(0u, run());
    expect_main_shortcut(own_programs() + L"\\" + kFolderName + L"\\Fenwright R1.lnk");
    EXPECT_FALSE(directory_exists(other_programs() + L"\\" + kFolderName))
        << "the other scope's start menu was touched";
}

TEST_P(Postinstall, NonAsciiFolderNameBecomesThatFolder)
{
    ASSERT_TRUE(testsupport::write_release_information(root(), kNonAsciiFolderNameUtf8, "18.1"));
    EXPECT_EQ(0u, run());
    expect_main_shortcut(own_programs() + L"\\" + kNonAsciiFolderName + L"\\Fenwright 18.1.lnk");
}

TEST_P(Postinstall, ArgumentsAndSecondRunLeaveOneShortcut)
{
    ASSERT_TRUE(testsupport::write_release_information(root(), "setupkit postinstall_test", "R1"));
    EXPECT_EQ(0u, run(L" /uninstall --folder ..\\elsewhere \"C:\\x y\""));
    EXPECT_EQ(0u, run());
    const std::wstring link = own_programs() + L"\\" + kFolderName + L"\\Fenwright R1.lnk";
    const std::vector<std::wstring> shortcuts = testsupport::find_shortcuts(own_programs() + L"\\" + kFolderName);
    ASSERT_EQ(1u, shortcuts.size()) << listed(shortcuts);
    EXPECT_EQ(link, shortcuts[0]);
    expect_main_shortcut(link);
}

TEST_P(Postinstall, MissingReleaseFilePutsFenwrightInProgramsAndLeavesItEmpty)
{
    ASSERT_TRUE(testsupport::make_directories(root() + kGlobalSettings));
    EXPECT_EQ(0u, run());
    // No revision suffix: the name has no space before the extension, so that uninstall finds it.
    expect_main_shortcut(own_programs() + L"\\Fenwright.lnk");
    EXPECT_FALSE(file_exists(own_programs() + L"\\Fenwright .lnk"));
    const std::wstring relinfo = root() + kGlobalSettings + L"\\relinfo.xml";
    EXPECT_TRUE(file_exists(relinfo)) << narrow(relinfo);
    EXPECT_EQ("", testsupport::read_bytes(relinfo));
}

INSTANTIATE_TEST_SUITE_P(Scopes, Postinstall, ::testing::Values(As::Administrator, As::StandardUser),
                         testsupport::AccountName());
