#include "testsupport/standard_user.h"

namespace testsupport {

HANDLE create_standard_user_token()
{
    HANDLE process_token = nullptr;
    HANDLE restricted = nullptr;
    PSID administrators = nullptr;
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    SID_AND_ATTRIBUTES disabled = {};

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &process_token))
        goto cleanup;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &administrators))
        goto cleanup;
    disabled.Sid = administrators;
    if (!CreateRestrictedToken(process_token, 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted))
        restricted = nullptr;

cleanup:
    if (administrators)
        FreeSid(administrators);
    if (process_token)
        CloseHandle(process_token);
    return restricted;
}

StandardUserScope::StandardUserScope()
{
    HANDLE primary = create_standard_user_token();
    HANDLE impersonation = nullptr;
    if (primary && DuplicateToken(primary, SecurityImpersonation, &impersonation)) {
        active_ = SetThreadToken(nullptr, impersonation) != 0;
        CloseHandle(impersonation);
    }
    if (primary)
        CloseHandle(primary);
}

StandardUserScope::~StandardUserScope()
{
    if (active_)
        RevertToSelf();
}

} // namespace testsupport
