#include "setupkit/scope.h"

#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/shortcuts.h"
#include "testsupport/standard_user.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using testsupport::GuardedBuffer;

namespace {

// The two-call protocol of get_programs_folder, against the folder the shell names.
void expect_programs_folder_protocol(const std::wstring& expected)
{
    ASSERT_FALSE(expected.empty());
    testsupport::expect_two_calls([](GuardedBuffer* buffer, int capacity) {
        return get_programs_folder(buffer ? buffer->data() : nullptr, capacity);
    }, static_cast<int>(expected.size()) + 1, 0, expected);
}

} // namespace

// Wine's default user is an administrator, as the first user of a Windows machine is.
TEST(IsUserAdmin, FollowsTheAdministratorsGroupOfTheThreadsToken)
{
    EXPECT_EQ(1, is_user_admin());
    ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation)) << "error " << GetLastError();
    const int impersonating = is_user_admin();
    RevertToSelf();
    EXPECT_EQ(1, impersonating) << "impersonating its own token";
    {
        testsupport::StandardUserScope standard_user;
        ASSERT_TRUE(standard_user.active()) << "error " << GetLastError();
        EXPECT_EQ(0, is_user_admin()) << "the Administrators group disabled";
    }
    EXPECT_EQ(1, is_user_admin()) << "the thread token was not given up";
}

TEST(GetProgramsFolder, EachScopeGivesItsOwnFolderByTwoCalls)
{
    ASSERT_NE(testsupport::all_users_programs_folder(), testsupport::user_programs_folder());
    expect_programs_folder_protocol(testsupport::all_users_programs_folder());
    testsupport::StandardUserScope standard_user;
    ASSERT_TRUE(standard_user.active());
    expect_programs_folder_protocol(testsupport::user_programs_folder());
}
