#include "setupkit/shortcuts.h"

#include "special_folder_guard.h"

#include "testsupport/files.h"
#include "testsupport/platform.h"
#include "testsupport/shortcuts.h"
#include "testsupport/standard_user.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

using testsupport::TempDir;
using testsupport::directory_exists;
using testsupport::file_exists;
using testsupport::listed;
using testsupport::narrow;

namespace {

const wchar_t kFolder[] = L"setupkit shortcuts_test";
const wchar_t kFolderArgument[] = L"\\setupkit shortcuts_test\\";

std::wstring parent_of(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring leaf_of(const std::wstring& path)
{
    return path.substr(path.find_last_of(L'\\') + 1);
}

// Both scopes' whole Start Menus as the case found them, the suite folders aside: whatever appears
// or goes anywhere else there is an escape, under any name. Removed before and after: the suite
// folders, and after, whatever the case added beside them.
class StartMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this machine's all-users Start Menu");
        clean();
        before_ = outside_suite_folders();
        ASSERT_FALSE(before_.empty()) << "the Start Menus could not be listed";
    }
    void TearDown() override { if (testsupport::this_machine_may_change()) clean(); }

    void clean() const
    {
        testsupport::remove_tree(all_users_folder());
        testsupport::remove_tree(user_folder());
        // Nothing is new before the first listing is taken.
        for (const std::wstring& path : outside_suite_folders())
            if (!before_.empty() && std::find(before_.begin(), before_.end(), path) == before_.end())
                testsupport::remove_tree(path);
    }

    // Every file and folder in both Start Menus but the suite folders and what they hold, full paths.
    static std::vector<std::wstring> outside_suite_folders()
    {
        std::vector<std::wstring> paths;
        for (const std::wstring& suite : {all_users_folder(), user_folder()}) {
            const std::wstring start_menu = parent_of(parent_of(suite));
            for (const std::wstring& entry : testsupport::list_tree(start_menu)) {
                const std::wstring path = start_menu + L"\\" + entry;
                if (path != suite && path.rfind(suite + L"\\", 0) != 0)
                    paths.push_back(path);
            }
        }
        return paths;
    }

    static std::wstring all_users_folder() { return testsupport::all_users_programs_folder() + L"\\" + kFolder; }
    static std::wstring user_folder() { return testsupport::user_programs_folder() + L"\\" + kFolder; }
    static std::wstring all_users_start_menu() { return parent_of(testsupport::all_users_programs_folder()); }

    static void create_tool(const wchar_t* folder, const wchar_t* name, const wchar_t* suffix)
    {
        EXPECT_EQ(0, create_start_menu_shortcut(L"C:\\X\\bin\\", L"tool.exe", L"", L"", L"%HOMEDRIVE%%HOMEPATH%",
                                                folder, name, L"Start Tool", SW_SHOWNORMAL, suffix));
    }

    std::vector<std::wstring> before_;
};

} // namespace

TEST_F(StartMenu, EachVariantDeletesTheNameItsCreatorGave)
{
    // The suffix given (empty: no space before the extension), release 18.1's, and the one in the
    // release file beside the program.
    const std::wstring relinfo = testsupport::own_directory() + L"relinfo.xml";
    testsupport::write_bytes(relinfo, "<startMenuShortcutAppendRevision value=\"L7\"/>");
    struct Variant {
        const wchar_t* file_name;
        decltype(&create_start_menu_shortcut_fixed) create;
        decltype(&delete_start_menu_shortcut_fixed) remove;
    };
    const Variant variants[] = {{L"Tool.lnk", nullptr, delete_start_menu_shortcut_plain},
                                {L"Tool 18.1.lnk", create_start_menu_shortcut_fixed, delete_start_menu_shortcut_fixed},
                                {L"Tool L7.lnk", create_start_menu_shortcut_local, delete_start_menu_shortcut_local}};
    for (const Variant& variant : variants) {
        SCOPED_TRACE(narrow(variant.file_name));
        const std::wstring link = all_users_folder() + L"\\" + variant.file_name;
        if (variant.create)
            EXPECT_EQ(0, variant.create(L"C:\\X\\bin\\", L"tool.exe", L"", L"", L"", kFolderArgument, L"Tool",
                                        L"Start Tool", SW_SHOWNORMAL));
        else
            create_tool(kFolderArgument, L"Tool", L"");
        EXPECT_TRUE(file_exists(link)) << "found:" << listed(testsupport::list_tree(all_users_folder()));
        EXPECT_EQ(0, variant.remove(kFolderArgument, L"Tool"));
        EXPECT_FALSE(file_exists(link)) << "uninstall would leave " << narrow(link) << " behind";
    }
    testsupport::remove_tree(relinfo);
}

TEST_F(StartMenu, PiecesLeadingOutOfProgramsCreateNothing)
{
    const wchar_t* const cases[][3] = {
        {L"\\setupkit shortcuts_test\\..\\..\\setupkit escape\\", L"Tool", L"2.0"},
        {L"\\..\\", L"setupkit escape", L""},
        {L"/../", L"setupkit escape", L"2.0"},
        {kFolderArgument, L"..\\..\\setupkit escape", L"2.0"},
        {kFolderArgument, L"Tool", L"2.0/../../../setupkit escape"},
        {kFolderArgument, L"Tool", L"2.0\\...\\..\\setupkit escape"},
        {kFolderArgument, L"Tool:stream", L""},
        {kFolderArgument, L"Tool", L"C:\\setupkit escape"},
        {L"setupkit escape\\", L"Tool", L"2.0"},
        {L"setupkit escape", L"Tool", L""},
        // Windows could make or remove none of these (Wine makes them all): refused before any folder.
        // preuninstall_test meets the plain device names, over-long names and suffixes through postinstall.
        {L"\\setupkit shortcuts_test\\Lpt9  .x\\Sub\\", L"Tool", L""},
        {L"\\setupkit shortcuts_test\\", L"prn", L""},
    };
    for (const auto& [folder, name, suffix] : cases) {
        SCOPED_TRACE(narrow(folder) + " | " + narrow(name) + " | " + narrow(suffix));
        create_tool(folder, name, suffix);
        EXPECT_FALSE(directory_exists(all_users_folder()));
        EXPECT_EQ(listed(before_), listed(outside_suite_folders())) << "made outside the suite folder";
        clean();
    }
}

TEST_F(StartMenu, PiecesLeadingOutOfProgramsDeleteAndRemoveNothing)
{
    // Not ours: beside the Programs folder, also under a name glued to its name, and in the suite
    // folder where a suffix with a separator would name a file in another folder.
    testsupport::write_bytes(all_users_start_menu() + L"\\setupkit escape.lnk", "not ours");
    const std::wstring glued = leaf_of(testsupport::all_users_programs_folder()) + L"setupkit escape";
    for (const std::wstring& folder : {std::wstring(L"setupkit escape folder"), glued})
        ASSERT_TRUE(testsupport::make_directories(all_users_start_menu() + L"\\" + folder)) << narrow(folder);
    const std::wstring through_suffix = all_users_folder() + L"\\Tool x\\y.lnk";
    testsupport::write_bytes(through_suffix, "not ours");
    const std::vector<std::wstring> laid_out = outside_suite_folders();

    EXPECT_EQ(0, delete_start_menu_shortcut_plain(L"\\..\\", L"setupkit escape"));
    EXPECT_EQ(0, delete_start_menu_shortcut_plain(kFolderArgument, L"..\\..\\setupkit escape"));
    EXPECT_EQ(0, delete_start_menu_shortcut(L"\\..\\", L"setupkit", L"escape"));
    EXPECT_EQ(0, delete_start_menu_shortcut(kFolderArgument, L"Tool", L"x\\y"));
    EXPECT_EQ(0, delete_start_menu_shortcut(kFolderArgument, L"Tool", L"x/y"));
    EXPECT_EQ(0, remove_start_menu_folder(L"\\..\\setupkit escape folder"));
    EXPECT_EQ(0, remove_start_menu_folder(L"\\setupkit shortcuts_test\\..\\..\\setupkit escape folder"));
    EXPECT_EQ(0, remove_programs_subfolder(L"..\\setupkit escape folder"));
    EXPECT_EQ(0, remove_programs_subfolder(L"../setupkit escape folder"));
    EXPECT_EQ(0, remove_start_menu_folder(L"setupkit escape"));
    EXPECT_EQ(listed(laid_out), listed(outside_suite_folders())) << "deleted or removed outside the suite folder";
    EXPECT_TRUE(file_exists(through_suffix)) << narrow(through_suffix);
}

TEST_F(StartMenu, SpecialFoldersAreNeitherWrittenToNorRemoved)
{
    const std::wstring programs = testsupport::all_users_programs_folder();
    for (const int csidl : {CSIDL_COMMON_STARTUP, CSIDL_COMMON_ADMINTOOLS}) {
        wchar_t path[MAX_PATH + 1] = L"";
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE)) << "special folder " << csidl;
        const std::wstring special = path;
        ASSERT_EQ(programs, parent_of(special)) << narrow(special) << " does not lie in the Programs folder";
        ASSERT_TRUE(testsupport::find_shortcuts(special).empty()) << narrow(special) << " is not empty to begin with";
        std::wstring upper = leaf_of(special);
        std::wstring lower = upper;
        CharUpperW(&upper[0]);
        CharLowerW(&lower[0]);
        // Under Wine a long name's 8.3 name is made up from a hash ("ADMI~G4A"); asked, not assumed.
        const std::wstring short_name = leaf_of(testsupport::short_path(special));
        ASSERT_FALSE(short_name.empty()) << "no short name for " << narrow(special);
        for (const std::wstring& name : {leaf_of(special), upper, lower, lower + L".", lower + L" ", lower + L"\\Sub",
                                         short_name, short_name + L"\\Sub", L"\\" + lower, lower + L"/",
                                         lower + L"/Sub"}) {
            SCOPED_TRACE(narrow(name));
            create_tool((L"\\" + name + L"\\").c_str(), L"Tool", L"2.0");
            EXPECT_EQ(0, remove_start_menu_folder((L"\\" + name).c_str()));
            EXPECT_EQ(0, remove_programs_subfolder(name.c_str()));
            // The removals take only emptied folders: a shortcut written into it (or its Sub) stays to be seen.
            EXPECT_EQ(listed(before_), listed(outside_suite_folders())) << "written to or removed";
        }
        std::wstring forward = special;
        std::replace(forward.begin(), forward.end(), L'\\', L'/');
        for (const std::wstring& spelt : {special, special + L"\\", forward, forward + L"/", L"\\\\?\\" + special,
                                          programs + L"\\\\" + leaf_of(special), testsupport::short_path(special)}) {
            EXPECT_EQ(static_cast<int>(E_ACCESSDENIED), remove_folder_if_empty(spelt.c_str())) << narrow(spelt);
            EXPECT_TRUE(directory_exists(special)) << narrow(spelt);
        }
    }
}

TEST(SpecialFolderGuard, FileIdentityDecidesOnlyWhatItCanTell)
{
    using Decision = IdentityDecision;
    const ULONGLONG all_ones = ~0ULL;
    // Opened with index and volume serial read, or not opened and nothing read.
    auto read = [](ULONGLONG index, DWORD volume) { return FolderIdentity{ERROR_SUCCESS, true, index, true, volume}; };
    auto failed = [](DWORD error) { return FolderIdentity{error, false, 0, false, 0}; };
    const FolderIdentity special = read(42, 7);
    struct Row {
        const char* what;
        FolderIdentity level;
        FolderIdentity special;
        Decision expected;
    };
    // 0 and all ones are what file systems without stable or unique IDs report: they match nothing.
    const Row rows[] = {
        {"same volume and index", read(42, 7), special, Decision::kSame},
        {"another index", read(43, 7), special, Decision::kDifferent},
        {"equal index on another volume", read(42, 8), special, Decision::kDifferent},
        {"index 0 on both", read(0, 7), read(0, 7), Decision::kUnknown},
        {"all ones on both", read(all_ones, 7), read(all_ones, 7), Decision::kUnknown},
        {"index 0 on the level only", read(0, 7), special, Decision::kUnknown},
        {"all ones on the special folder only", read(42, 7), read(all_ones, 7), Decision::kUnknown},
        {"equal index, volume unread", {ERROR_SUCCESS, true, 42, false, 0}, special, Decision::kUnknown},
        {"special folder's index unread", read(42, 7), failed(ERROR_SUCCESS), Decision::kUnknown},
        {"level's index unread", failed(ERROR_SUCCESS), special, Decision::kRefused},
        {"access denied", failed(ERROR_ACCESS_DENIED), special, Decision::kRefused},
        {"sharing violation", failed(ERROR_SHARING_VIOLATION), special, Decision::kRefused},
        {"missing", failed(ERROR_FILE_NOT_FOUND), special, Decision::kAbsent},
        {"missing parent", failed(ERROR_PATH_NOT_FOUND), special, Decision::kAbsent},
        {"invalid name", failed(ERROR_INVALID_NAME), special, Decision::kAbsent},
    };
    for (const Row& row : rows)
        EXPECT_EQ(static_cast<int>(row.expected), static_cast<int>(decide_identity(row.level, row.special)))
            << row.what;
}

// Under Wine every folder has usable file IDs, so classify_folder never falls back to the names: the
// fallback is driven directly. GetLongPathNameW keeps the letter case of long names as written.
TEST(SpecialFolderGuard, NameFallbackIgnoresCaseVerbatimPrefixAndShortNames)
{
    wchar_t path[MAX_PATH + 1] = L"";
    wchar_t startup[MAX_PATH + 1] = L"";
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_ADMINTOOLS, TRUE));
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, startup, CSIDL_COMMON_STARTUP, TRUE));
    const std::wstring special = path;
    std::wstring upper = special;
    std::wstring lower = special;
    CharUpperW(&upper[0]);
    CharLowerW(&lower[0]);
    std::wstring short_lower = testsupport::short_path(special);
    ASSERT_NE(special.size(), short_lower.size()) << "no short name for " << narrow(special);
    CharLowerW(&short_lower[0]);
    const std::pair<std::wstring, bool> rows[] = {
        {upper, true}, {lower, true}, {L"\\\\?\\" + lower, true}, {short_lower, true}, {short_lower + L"\\", true},
        {parent_of(special), false}, {startup, false},
        {special + L"\\never made", true}, // cannot be worked out: it might be the special folder
    };
    for (const auto& [spelt, same] : rows) {
        EXPECT_EQ(same, same_long_path(spelt.c_str(), special.c_str())) << narrow(spelt);
        EXPECT_EQ(same, same_long_path(special.c_str(), spelt.c_str())) << narrow(spelt) << " as the special folder";
    }
}

TEST_F(StartMenu, NestedNameIsRemovedInnermostFirstUpToAFolderInUse)
{
    const std::wstring inner = all_users_folder() + L"\\Suite 18.1\\Deeper";
    ASSERT_TRUE(testsupport::make_directories(inner));
    testsupport::write_bytes(all_users_folder() + L"\\readme.txt", "the user's own file");
    const std::wstring name = std::wstring(kFolder) + L"\\Suite 18.1\\Deeper";

    EXPECT_EQ(0, remove_programs_subfolder(name.c_str()));
    EXPECT_FALSE(directory_exists(all_users_folder() + L"\\Suite 18.1"));
    EXPECT_TRUE(file_exists(all_users_folder() + L"\\readme.txt")) << "a folder in use must stay";

    // A level that was never made stops the climb: the suite did not empty the folder above it.
    testsupport::remove_tree(all_users_folder() + L"\\readme.txt");
    EXPECT_EQ(0, remove_programs_subfolder((std::wstring(kFolder) + L"\\Never made").c_str()));
    EXPECT_TRUE(directory_exists(all_users_folder())) << "removed though this suite never emptied it";
}

TEST(ProgramsFolder, ItselfIsNeverRemovedEvenWhenEmpty)
{
    SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this user's Programs folder setting");
    TempDir temp;
    const std::wstring programs = temp / L"Programs";
    ASSERT_TRUE(testsupport::make_directories(programs + L"\\Sub"));
    testsupport::RedirectedShellFolder redirected(HKEY_CURRENT_USER, L"Programs", programs);
    testsupport::StandardUserScope standard_user;
    EXPECT_TRUE(standard_user.active());
    EXPECT_EQ(programs, testsupport::user_programs_folder()) << "the redirection did not take";
    // The redirection works: an empty sub-folder goes.
    EXPECT_EQ(0, remove_programs_subfolder(L"Sub"));
    EXPECT_FALSE(directory_exists(programs + L"\\Sub"));

    for (const wchar_t* name : {L"\\", L"", L"\\.\\"})
        EXPECT_EQ(0, remove_start_menu_folder(name)) << narrow(name);
    for (const wchar_t* name : {L"", L"."})
        EXPECT_EQ(0, remove_programs_subfolder(name)) << narrow(name);
    EXPECT_TRUE(directory_exists(programs)) << narrow(programs);
}

TEST_F(StartMenu, ProgramsSubfolderAndStartMenuFolderRemovedInEachScope)
{
    // Both removals, each in the calling thread's scope only. A nested subfolder name goes whole,
    // innermost level first, separators doubled or not; the Programs folder stays.
    const std::wstring nested = std::wstring(kFolder) + L"\\\\Suite 18.1\\Deeper\\";
    for (const bool by_relative_path : {false, true}) {
        SCOPED_TRACE(by_relative_path ? "remove_start_menu_folder" : "remove_programs_subfolder");
        const auto remove = [&] {
            EXPECT_EQ(0, by_relative_path ? remove_start_menu_folder(L"\\setupkit shortcuts_test")
                                          : remove_programs_subfolder(nested.c_str()));
        };
        const std::wstring levels = by_relative_path ? L"" : L"\\Suite 18.1\\Deeper";
        ASSERT_TRUE(testsupport::make_directories(all_users_folder() + levels));
        ASSERT_TRUE(testsupport::make_directories(user_folder() + levels));
        {
            testsupport::StandardUserScope standard_user;
            ASSERT_TRUE(standard_user.active());
            remove();
        }
        EXPECT_FALSE(directory_exists(user_folder()));
        EXPECT_TRUE(directory_exists(all_users_folder() + levels));
        remove();
        EXPECT_FALSE(directory_exists(all_users_folder()));
        EXPECT_TRUE(directory_exists(testsupport::all_users_programs_folder()));
    }
}

TEST_F(StartMenu, ProgramsSubfolderNameBeyondReachIsRefused)
{
    // Names that do not fit the 520-character buffer; then levels that Windows could neither make
    // nor remove, laid out here as Wine allows: each must stay, and so must the suite's folder.
    const std::wstring rows[] = {
        // Cut to 520 characters this would name the suite folder itself (a run of backslashes is one).
        std::wstring(kFolder) + std::wstring(600, L'\\') + L"x",
        std::wstring(kFolder) + L"\\" + std::wstring(600, L'x'),
        std::wstring(kFolder) + L"\\NUL\\Sub",
        std::wstring(kFolder) + L"\\Com1.log\\Sub",
        std::wstring(kFolder) + L"\\" + std::wstring(255, L'L'),
    };
    for (const std::wstring& name : rows) {
        SCOPED_TRACE(narrow(name.substr(0, 80)) + "... (" + std::to_string(name.size()) + " characters)");
        // Laid out through "\\?\", where Win32 takes neither a device name nor the length limit.
        const bool laid_out = name.size() < 520 && name.find(L"\\\\") == std::wstring::npos;
        const std::wstring kept = laid_out ? L"\\\\?\\" + testsupport::all_users_programs_folder() + L"\\" + name
                                           : all_users_folder();
        ASSERT_TRUE(testsupport::make_directories(kept));
        // Wine's shell cannot list such a level, so the folder stays either way: the refusal shows in
        // the last error the operations leave.
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(0, remove_programs_subfolder(name.c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError()) << "remove_programs_subfolder";
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(0, remove_start_menu_folder((L"\\" + name).c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError()) << "remove_start_menu_folder";
        EXPECT_TRUE(directory_exists(kept)) << "removed";
        clean();
    }
}

TEST(ShortcutFile, CreatedInMissingFoldersWithEveryPropertyAndDeletedOnce)
{
    TempDir temp;
    const std::wstring link = temp / L"a\\b\\c\\Tool.lnk";
    EXPECT_EQ(0, create_shortcut_file(link.c_str(), L"C:\\Tools\\tool.exe", L"--flag \"x y\"", L"C:\\Work",
                                      L"A tool", L"C:\\Tools\\tool.ico", 3, SW_SHOWMAXIMIZED));
    // Wine's Load ignores the stored show command and reports 1.
    const std::wstring show = testsupport::running_under_wine() ? L"1/3" : L"3/3";
    EXPECT_EQ(L"C:\\Tools\\tool.exe | --flag \"x y\" | C:\\Work | A tool | C:\\Tools\\tool.ico,3 | show " + show,
              testsupport::shortcut_summary(link));
    EXPECT_EQ(0, delete_shortcut_file(link.c_str()));
    EXPECT_EQ(static_cast<int>(E_FAIL), delete_shortcut_file(link.c_str())) << "still there, or never deleted";
}

TEST(RemoveFolderIfEmpty, ResultRemovalAndComFollowWhatTheFolderHolds)
{
    const struct {
        const char* content;
        void (*lay_out)(const std::wstring& folder);
        int expected;
        bool stays;
    } cases[] = {
        {"nothing", [](const std::wstring&) {}, 0, false},
        {"visible file", [](const std::wstring& f) { testsupport::write_bytes(f + L"\\readme.txt", "x"); }, 80, true},
        {"sub-folder only", [](const std::wstring& f) { testsupport::make_directories(f + L"\\Sub"); }, 0, true},
        {"hidden file only",
         [](const std::wstring& f) {
             testsupport::write_bytes(f + L"\\hidden.txt", "x");
             ASSERT_TRUE(SetFileAttributesW((f + L"\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
         },
         0, true},
        // A missing path fails without touching COM.
        {"missing", [](const std::wstring& f) { testsupport::remove_tree(f); }, static_cast<int>(E_FAIL), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        TempDir temp;
        const std::wstring folder = temp / L"Folder";
        ASSERT_TRUE(testsupport::make_directories(folder));
        c.lay_out(folder);
        // A fresh thread per row shows what the call left behind: once COM is a single-threaded
        // apartment there, asking for a multithreaded one is refused with RPC_E_CHANGED_MODE.
        int result = 0;
        HRESULT later = E_UNEXPECTED;
        std::thread worker([&] {
            result = remove_folder_if_empty(folder.c_str());
            later = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (SUCCEEDED(later))
                CoUninitialize();
        });
        worker.join();
        EXPECT_EQ(c.expected, result);
        EXPECT_EQ(c.stays, directory_exists(folder));
        EXPECT_EQ(c.expected == static_cast<int>(E_FAIL) ? S_OK : RPC_E_CHANGED_MODE, later) << "the apartment after";
    }
}
