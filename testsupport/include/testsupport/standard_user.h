// A standard user's view of the process: the caller's token with BUILTIN\Administrators disabled.
// Under it the library's administrator test answers 0, so work happens in user scope.
#pragma once

#include <windows.h>

namespace testsupport {

// A new primary token like the process's, with the Administrators group deny-only.
// The caller closes it. Null on failure.
HANDLE create_standard_user_token();

// Impersonates a standard user on the calling thread for the lifetime of the object.
class StandardUserScope {
public:
    StandardUserScope();
    ~StandardUserScope();
    StandardUserScope(const StandardUserScope&) = delete;
    StandardUserScope& operator=(const StandardUserScope&) = delete;

    bool active() const { return active_; }

private:
    bool active_ = false;
};

} // namespace testsupport
