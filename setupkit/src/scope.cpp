#include "setupkit/scope.h"

#include "record_sizes.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

ASSERT_32BIT_SIZE(sizeof(PRIVILEGE_SET), 20);
ASSERT_32BIT_SIZE(SECURITY_DESCRIPTOR_MIN_LENGTH, 20);

namespace {

constexpr DWORD kAdminProbeAccess = 1;
constexpr ACCESS_MASK kAdminGrantedAccess = 3;
// The access-control list header and one access-allowed entry, less the entry's SidStart
// placeholder: 8 + 12 - 4 bytes.
constexpr DWORD kAclOverhead = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);

static_assert(kAclOverhead == 16, "one access-allowed entry needs 16 bytes beside its SID");

// Whether the token passes the access test of an Administrators-only descriptor: 1 or 0, -1 when
// the test could not be made.
int token_is_admin(HANDLE token)
{
    int result = -1;
    HANDLE impersonation = nullptr;
    PSID administrators = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL access_list = nullptr;
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    DWORD access_list_size = 0;
    GENERIC_MAPPING mapping = {1, 2, 0, 3};
    PRIVILEGE_SET privileges;
    DWORD privileges_size = sizeof(privileges);
    DWORD granted = 0;
    BOOL access_status = FALSE;

    if (!DuplicateToken(token, SecurityImpersonation, &impersonation)) {
        impersonation = nullptr;
        goto cleanup;
    }
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                  0, 0, 0, &administrators)) {
        administrators = nullptr;
        goto cleanup;
    }

    descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!descriptor)
        goto cleanup;
    if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION))
        goto cleanup;
    access_list_size = GetLengthSid(administrators) + kAclOverhead;
    access_list = static_cast<PACL>(LocalAlloc(LPTR, access_list_size));
    if (!access_list)
        goto cleanup;
    if (!InitializeAcl(access_list, access_list_size, ACL_REVISION2))
        goto cleanup;
    if (!AddAccessAllowedAce(access_list, ACL_REVISION2, kAdminGrantedAccess, administrators))
        goto cleanup;
    if (!SetSecurityDescriptorDacl(descriptor, TRUE, access_list, FALSE))
        goto cleanup;
    // AccessCheck insists on an owner and a group: should either setting fail, the check itself
    // fails and the answer is user scope.
    SetSecurityDescriptorGroup(descriptor, administrators, FALSE);
    SetSecurityDescriptorOwner(descriptor, administrators, FALSE);
    if (!IsValidSecurityDescriptor(descriptor))
        goto cleanup;

    if (AccessCheck(descriptor, impersonation, kAdminProbeAccess, &mapping, &privileges, &privileges_size, &granted,
                    &access_status))
        result = access_status ? 1 : 0;

cleanup:
    if (access_list)
        LocalFree(access_list);
    if (descriptor)
        LocalFree(descriptor);
    if (administrators)
        FreeSid(administrators);
    if (impersonation)
        CloseHandle(impersonation);
    return result;
}

// The process token's answer plus one, 0 until first known. A process keeps its primary token for
// life and Administrators, a mandatory group, cannot be disabled in it, so the answer holds; only
// a thread that impersonates may answer otherwise, and it is asked every time. Threads that find
// no answer each work it out and store the same value: a race without harm, as the shipped code
// has no locks. A test that could not be made is not kept.
LONG volatile g_process_answer = 0;

} // namespace

int is_user_admin()
{
    int result = 0;
    HANDLE token = nullptr;
    LONG known = 0;

    if (OpenThreadToken(GetCurrentThread(), TOKEN_DUPLICATE | TOKEN_QUERY, TRUE, &token)) {
        result = token_is_admin(token) == 1 ? 1 : 0;
        goto cleanup;
    }
    token = nullptr;
    // A thread that is not impersonating has no token of its own: the process's decides.
    if (GetLastError() != ERROR_NO_TOKEN)
        goto cleanup;
    known = InterlockedCompareExchange(&g_process_answer, 0, 0);
    if (known != 0) {
        result = known - 1;
        goto cleanup;
    }
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &token)) {
        token = nullptr;
        goto cleanup;
    }
    known = token_is_admin(token);
    if (known >= 0)
        InterlockedExchange(&g_process_answer, known + 1);
    result = known == 1 ? 1 : 0;

cleanup:
    if (token)
        CloseHandle(token);
    return result;
}

Scope install_scope()
{
    return is_user_admin() ? kMachineScope : kUserScope;
}

int get_programs_folder(wchar_t* buffer, unsigned int capacity)
{
    wchar_t folder[kProgramsFolderChars];
    unsigned int size = 0;
    int result = 0;
    if (buffer && static_cast<int>(capacity) > 0)
        buffer[0] = L'\0';
    scope_programs_folder(install_scope(), folder);
    size = static_cast<unsigned int>(wcslen(folder)) + 1;
    if (buffer && capacity >= size)
        memcpy(buffer, folder, size * sizeof(wchar_t));
    else
        result = static_cast<int>(size);
    return result;
}
