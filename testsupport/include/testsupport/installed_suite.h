// The suite installed as the programs' tests meet it: an install tree in a private folder, its
// release information, the programs run from their place in it (with or without a step log), and
// what they register removed before each case as well as after it.
#pragma once

#include "testsupport/files.h"
#include "testsupport/process.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"
#include "testsupport/suite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

// The start-menu folder the cases register in, and one named beyond ASCII (UTF-16; UTF-8 as the
// release file holds it). Both are removed before and after each case.
extern const wchar_t kTestFolderName[];
extern const wchar_t kNonAsciiFolderName[];
extern const char kNonAsciiFolderNameUtf8[];

class InstalledSuite : public ::testing::Test {
public:
    // The test folder in the Programs folder that a run as `as` registers in.
    static std::wstring suite_folder(As as = As::Administrator);

protected:
    // Skips on a machine that did not opt in (places.h); else cleans up.
    void SetUp() override;
    void TearDown() override;

    // The start-menu folders named above and the Fenwright shortcut straight in either Programs
    // folder, the suite's variables in both keys, and the real shell-folder settings back.
    static void clean();

    std::wstring root() const { return tree_ / L"Suite Root\\v182"; }

    // Writes <root>\commonfiles\globalsettings\relinfo.xml; the case stops when it cannot.
    void release(const std::string& folder_name_utf8, const std::string& revision = "18.1");

    // Places the program below `at` (the tree's root unless given) and runs it there as `as` with the
    // arguments; checks its exit status against `expected` and returns it. Its output goes to output_.
    DWORD run(const wchar_t* program, As as = As::Administrator, const std::wstring& arguments = L"",
              DWORD expected = 0, const std::wstring& at = L"");

    // The program run with "/log=<file>"; the lines in the file, a fresh one unless `append`.
    std::vector<std::string> run_logged(const wchar_t* program, As as = As::Administrator, bool append = false);

    TempDir tree_;
    std::string output_;
};

// The fixture for cases run once by an administrator and once by a standard user.
class InstalledSuiteInScope : public InstalledSuite, public ::testing::WithParamInterface<As> {};

// What the programs may change, as it stands when made: both Programs folders and both environment keys.
struct RegistrationSnapshot {
    std::vector<std::wstring> all_users_programs = list_tree(all_users_programs_folder());
    std::vector<std::wstring> user_programs = list_tree(user_programs_folder());
    EnvironmentValues machine_environment = environment_values(kMachineScope);
    EnvironmentValues user_environment = environment_values(kUserScope);
};

// The same start menu and environment, the differences listed; `what` names the moment.
void expect_same(const RegistrationSnapshot& before, const RegistrationSnapshot& after, const char* what);

} // namespace testsupport
