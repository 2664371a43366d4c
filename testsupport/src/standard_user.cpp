#include "testsupport/standard_user.h"

namespace testsupport {

HANDLE create_standard_user_token()
{
    HANDLE process_token = nullptr;
    HANDLE restricted = nullptr;
    alignas(SID) BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    SID_AND_ATTRIBUTES disabled = {administrators, 0};

    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
        OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &process_token) &&
        !CreateRestrictedToken(process_token, 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted))
        restricted = nullptr;
    if (process_token)
        CloseHandle(process_token);
    return restricted;
}

StandardUserScope::StandardUserScope()
{
    HANDLE primary = create_standard_user_token();
    // A primary token is made an impersonation token on the way.
    active_ = primary && ImpersonateLoggedOnUser(primary);
    if (primary)
        CloseHandle(primary);
}

StandardUserScope::~StandardUserScope()
{
    if (active_)
        RevertToSelf();
}

} // namespace testsupport
