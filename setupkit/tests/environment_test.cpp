#include "setupkit/environment.h"

#include "testsupport/broadcast.h"
#include "testsupport/files.h"
#include "testsupport/guarded_buffer.h"
#include "testsupport/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

using testsupport::BroadcastReceiver;
using testsupport::DenyingKeyDacl;
using testsupport::GuardedBuffer;
using testsupport::SettingChange;
using testsupport::narrow;
using testsupport::process_variable;
using testsupport::read_environment_value;

namespace {

const wchar_t kVariable[] = L"SETUPKIT_TEST_ENVIRONMENT";
const wchar_t kInstallRootVariable[] = L"TALVO_ROOT182";
// The library's scope numbers, as its contract gives them.
constexpr int kMachine = 1;
constexpr int kUser = 0;

// Every broadcast is the environment change with wParam 0 and lParam "Environment".
void expect_environment_broadcasts(size_t count, const std::vector<SettingChange>& changes)
{
    std::string expected;
    std::string received;
    for (size_t i = 0; i < count; ++i)
        expected += " [wParam 0, \"Environment\"]";
    for (const SettingChange& change : changes)
        received += " [wParam " + std::to_string(change.wparam) + ", \"" + narrow(change.area) + "\"]";
    EXPECT_EQ(expected, received) << "the broadcasts received";
}

class EnvironmentVariables : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE("this machine's environment key");
        ASSERT_TRUE(receiver_.ready()) << "no broadcast receiver window, error " << GetLastError();
        testsupport::forget_environment_variable(kVariable);
        SetEnvironmentVariableW(kInstallRootVariable, nullptr);
        receiver_.clear();
    }
    void TearDown() override
    {
        if (!testsupport::this_machine_may_change())
            return;
        testsupport::forget_environment_variable(kVariable);
        SetEnvironmentVariableW(kInstallRootVariable, nullptr);
    }

    BroadcastReceiver receiver_;
};

} // namespace

TEST_F(EnvironmentVariables, ValueIsStoredInTheScopesKeyOnlyAndAnnouncedOnce)
{
    // A string is stored with its terminator (NT and Wine alike add one that the caller's count left
    // out, so the size shows what is stored) and reaches the process; an expandable string would need
    // expanding first, and other types store exactly four bytes: the process keeps what it had. The
    // user's key works while the machine's refuses access; a store that fails changes nothing and
    // announces nothing, yet only a key that cannot be opened or a scope that is neither is reported.
    const DWORD number = 0x12345678;
    const BYTE eight_bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    // Longer than any value name may be (16383 characters): the key opens, the store fails.
    const std::wstring too_long(16385, L'A');
    auto text_bytes = [](const wchar_t* text) {
        const BYTE* first = reinterpret_cast<const BYTE*>(text);
        return std::vector<BYTE>(first, first + (wcslen(text) + 1) * sizeof(wchar_t));
    };
    struct Row {
        const char* what;
        int scope;
        DWORD type;
        const void* value;
        std::vector<BYTE> stored; // empty: nothing stored, nothing announced
        const wchar_t* process;
        bool denied = false;
        int result = 0;
        const wchar_t* name = kVariable;
    };
    const Row rows[] = {
        {"user string", kUser, REG_SZ, L"abcdefg", text_bytes(L"abcdefg"), L"abcdefg"},
        {"machine string", kMachine, REG_SZ, L"abcdefg", text_bytes(L"abcdefg"), L"abcdefg"},
        {"expandable string", kUser, REG_EXPAND_SZ, L"%SystemRoot%\\x", text_bytes(L"%SystemRoot%\\x"), L"before"},
        {"DWORD", kUser, REG_DWORD, &number, {0x78, 0x56, 0x34, 0x12}, L"before"},
        {"binary", kUser, REG_BINARY, eight_bytes, {1, 2, 3, 4}, L"before"},
        {"user string, machine key refused", kUser, REG_SZ, L"user", text_bytes(L"user"), L"user", true},
        {"machine string, machine key refused", kMachine, REG_SZ, L"new", {}, L"before", true, static_cast<int>(E_FAIL)},
        {"name too long", kUser, REG_SZ, L"value", {}, L"before", false, 0, too_long.c_str()},
        {"scope 2", 2, REG_SZ, L"new", {}, L"before", false, static_cast<int>(E_INVALIDARG)},
        {"scope -1", -1, REG_SZ, L"new", {}, L"before", false, static_cast<int>(E_INVALIDARG)},
    };
    for (const Row& row : rows) {
        const Scope scope = static_cast<Scope>(row.scope);
        SCOPED_TRACE(row.what);
        testsupport::forget_environment_variable(row.name);
        SetEnvironmentVariableW(row.name, L"before");
        receiver_.clear();
        {
            std::optional<DenyingKeyDacl> denied;
            if (row.denied)
                denied.emplace(HKEY_LOCAL_MACHINE, testsupport::kMachineEnvironmentKey);
            ASSERT_TRUE(!row.denied || denied->active()) << "cannot set the denying DACL, error " << denied->error();
            ASSERT_EQ(row.result, set_environment_variable(row.name, row.value, row.type, row.scope));
        }
        const auto stored = read_environment_value(scope, row.name);
        ASSERT_EQ(!row.stored.empty(), stored.exists) << "error " << stored.error;
        EXPECT_EQ(row.stored.empty() ? 0 : row.type, stored.type);
        EXPECT_EQ(row.stored, stored.data);
        EXPECT_FALSE(read_environment_value(testsupport::other_scope(scope), row.name).exists)
            << "other scope's key written";
        EXPECT_EQ(row.process, process_variable(row.name));
        expect_environment_broadcasts(row.stored.empty() ? 0 : 1, receiver_.received());
        SetEnvironmentVariableW(row.name, nullptr);
    }
}

TEST_F(EnvironmentVariables, DeletionRemovesTheScopesValuesEachWithItsBroadcast)
{
    // What each key holds before ("" for nothing), whether the machine key refuses access, and what
    // is left of it all afterwards; a user-scope copy goes first, since it would shadow the machine's.
    // A scope that is neither changes nothing.
    struct Row {
        const char* what;
        int scope;
        const wchar_t* machine;
        const wchar_t* user;
        bool denied;
        int result;
        const wchar_t* machine_left;
        const wchar_t* user_left;
        size_t broadcasts;
    };
    const Row rows[] = {
        {"machine scope, both keys", kMachine, L"machine", L"user", false, 0, L"", L"", 2},
        {"machine scope, user key only", kMachine, L"", L"user", false, 0, L"", L"", 1},
        {"user scope, both keys", kUser, L"machine", L"user", false, 0, L"machine", L"", 1},
        {"machine scope, nothing stored", kMachine, L"", L"", false, 0, L"", L"", 0},
        {"user scope, nothing stored", kUser, L"", L"", false, 0, L"", L"", 0},
        {"machine key refused", kMachine, L"machine", L"user", true, static_cast<int>(E_FAIL), L"machine", L"", 1},
        {"user scope, machine key refused", kUser, L"machine", L"user", true, 0, L"machine", L"", 1},
        {"scope 2", 2, L"machine", L"user", false, static_cast<int>(E_INVALIDARG), L"machine", L"user", 0},
        {"scope -1", -1, L"machine", L"user", false, static_cast<int>(E_INVALIDARG), L"machine", L"user", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testsupport::forget_environment_variable(kVariable);
        for (const auto& [scope, value] : {std::make_pair(kMachineScope, row.machine),
                                           std::make_pair(kUserScope, row.user)})
            ASSERT_TRUE(!*value || testsupport::write_environment_string(scope, kVariable, value) == ERROR_SUCCESS);
        SetEnvironmentVariableW(kVariable, L"process");
        receiver_.clear();
        {
            std::optional<DenyingKeyDacl> denied;
            if (row.denied)
                denied.emplace(HKEY_LOCAL_MACHINE, testsupport::kMachineEnvironmentKey);
            ASSERT_TRUE(!row.denied || denied->active()) << "cannot set the denying DACL, error " << denied->error();
            EXPECT_EQ(row.result, delete_environment_variable(kVariable, row.scope));
        }
        EXPECT_EQ(*row.user_left != L'\0', read_environment_value(kUserScope, kVariable).exists);
        EXPECT_EQ(row.user_left, read_environment_value(kUserScope, kVariable).text());
        EXPECT_EQ(row.machine_left, read_environment_value(kMachineScope, kVariable).text());
        // Only a value deleted from a key leaves the process.
        EXPECT_EQ(row.broadcasts ? L"(not set)" : L"process", process_variable(kVariable));
        expect_environment_broadcasts(row.broadcasts, receiver_.received());
    }
}

TEST_F(EnvironmentVariables, InstallRootVariableComesFromTheProcessByTwoCalls)
{
    // The registry is not consulted: a stored value alone reads as unset.
    ASSERT_EQ(ERROR_SUCCESS, testsupport::write_environment_string(kUserScope, kInstallRootVariable, L"C:\\Stored"));
    EXPECT_EQ(0, get_install_root_variable(nullptr, 0));
    testsupport::delete_environment_value(kUserScope, kInstallRootVariable);

    SetEnvironmentVariableW(kInstallRootVariable, L"C:\\Suite\\Rel");
    testsupport::expect_two_calls([](GuardedBuffer* buffer, int capacity) {
        return get_install_root_variable(buffer ? buffer->data() : nullptr, capacity);
    }, 13, 0, L"C:\\Suite\\Rel", testsupport::ShortBuffer::kUntouched);
}
