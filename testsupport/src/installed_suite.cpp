#include "testsupport/installed_suite.h"

#include "testsupport/places.h"
#include "testsupport/shortcuts.h"

namespace testsupport {

const wchar_t kTestFolderName[] = L"setupkit test suite";
// "setupkit Fenwright Ü 日本"
const wchar_t kNonAsciiFolderName[] = L"setupkit Fenwright \u00DC \u65E5\u672C";
const char kNonAsciiFolderNameUtf8[] = "setupkit Fenwright \xC3\x9C \xE6\x97\xA5\xE6\x9C\xAC";

void InstalledSuite::SetUp()
{
    SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this machine's environment key and all-users Start Menu");
    clean();
}

void InstalledSuite::TearDown()
{
    if (this_machine_may_change())
        clean();
}

void InstalledSuite::clean()
{
    restore_shell_folders();
    forget_suite_registration({kTestFolderName, kNonAsciiFolderName});
}

void InstalledSuite::release(const std::string& folder_name_utf8, const std::string& revision)
{
    ASSERT_TRUE(write_release_information(root(), folder_name_utf8, revision)) << narrow(root());
}

DWORD InstalledSuite::run(const wchar_t* program, As as, const std::wstring& arguments, DWORD expected,
                          const std::wstring& at)
{
    const std::wstring where = at.empty() ? root() : at;
    EXPECT_TRUE(place_programs(where, {program})) << narrow(where) << ", error " << GetLastError();
    const std::wstring command = program_command(where, program, arguments);
    output_.clear();
    const DWORD status = run_program(command, {as, false, &output_});
    EXPECT_EQ(expected, status) << narrow(command) << (as == As::StandardUser ? " as a standard user" : "")
                                << "\n" << output_;
    return status;
}

std::vector<std::string> InstalledSuite::run_logged(const wchar_t* program, As as, bool append)
{
    const std::wstring log = tree_ / L"setup.log";
    if (!append)
        remove_tree(log);
    run(program, as, L" \"/log=" + log + L"\"");
    return log_lines(log);
}

void expect_same(const RegistrationSnapshot& before, const RegistrationSnapshot& after, const char* what)
{
    EXPECT_EQ(before.all_users_programs, after.all_users_programs) << what << listed(after.all_users_programs);
    EXPECT_EQ(before.user_programs, after.user_programs) << what << listed(after.user_programs);
    EXPECT_TRUE(before.machine_environment == after.machine_environment) << what << ": the machine environment";
    EXPECT_TRUE(before.user_environment == after.user_environment) << what << ": the user environment";
}

std::wstring InstalledSuite::suite_folder(As as)
{
    return programs_folder(as) + L"\\" + kTestFolderName;
}

} // namespace testsupport
