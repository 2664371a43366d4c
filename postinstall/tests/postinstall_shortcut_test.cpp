// postinstall run as the installer runs it: copied into a laid-out install tree, four folder levels
// below the install root, by an administrator and by a standard user.
#include "testsupport/installed_suite.h"
#include "testsupport/shortcuts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

using testsupport::file_exists;
using testsupport::kTestFolderName;
using testsupport::listed;
using testsupport::narrow;

namespace {

class Postinstall : public testsupport::InstalledSuiteInScope {
protected:
    std::wstring own_programs() const { return testsupport::programs_folder(GetParam()); }

    // The main shortcut at `link`, read back, is the one that starts the launcher of this tree.
    void expect_main_shortcut(const std::wstring& link)
    {
        // The working directory stays unexpanded.
        EXPECT_EQ(root() + L"\\Framework\\bin\\Win64\\runfen2.exe |  | %HOMEDRIVE%%HOMEPATH% | "
                           L"Start VELMORA Fenwright | ,0 | show 1/1",
                  testsupport::shortcut_summary(link))
            << narrow(link) << "; the scope's Programs folder holds "
            << listed(testsupport::find_shortcuts(own_programs()));
    }
};

} // namespace

// Arguments are ignored, and a second run replaces the shortcut rather than adding one.
TEST_P(Postinstall, CreatesOneMainShortcutInScopesProgramsFolderOnlyUnderTheNamedFolderWhateverItsArgumentsOrRuns)
{
    // The folder name as the release file gives it in UTF-8, and the folder it must become.
    const std::pair<std::string, std::wstring> names[] = {
        {narrow(kTestFolderName), kTestFolderName},
        {testsupport::kNonAsciiFolderNameUtf8, testsupport::kNonAsciiFolderName}};
    const std::wstring other_programs = testsupport::programs_folder(
        GetParam() == testsupport::As::StandardUser ? testsupport::As::Administrator : testsupport::As::StandardUser);
    for (const auto& [utf8, folder] : names) {
        SCOPED_TRACE(utf8);
        release(utf8, "R1");
        run(L"postinstall.exe", GetParam(), L" /uninstall --folder ..\\elsewhere \"C:\\x y\"");
        run(L"postinstall.exe", GetParam());
        const std::wstring link = own_programs() + L"\\" + folder + L"\\Fenwright R1.lnk";
        const std::vector<std::wstring> shortcuts = testsupport::find_shortcuts(own_programs() + L"\\" + folder);
        EXPECT_EQ(std::vector<std::wstring>{link}, shortcuts) << listed(shortcuts);
        expect_main_shortcut(link);
        EXPECT_FALSE(testsupport::directory_exists(other_programs + L"\\" + folder))
            << "the other scope's start menu was touched";
    }
}

TEST_P(Postinstall, MissingReleaseFilePutsFenwrightInProgramsAndLeavesItEmpty)
{
    const std::wstring global_settings = root() + L"\\commonfiles\\globalsettings";
    ASSERT_TRUE(testsupport::make_directories(global_settings));
    run(L"postinstall.exe", GetParam());
    // No revision suffix: the name has no space before the extension, so that uninstall finds it.
    expect_main_shortcut(own_programs() + L"\\Fenwright.lnk");
    EXPECT_FALSE(file_exists(own_programs() + L"\\Fenwright .lnk"));
    EXPECT_TRUE(file_exists(global_settings + L"\\relinfo.xml"));
    EXPECT_EQ("", testsupport::read_bytes(global_settings + L"\\relinfo.xml"));
}

INSTANTIATE_TEST_SUITE_P(Scopes, Postinstall, ::testing::Values(testsupport::As::Administrator,
                                                                testsupport::As::StandardUser),
                         testsupport::AccountName());
