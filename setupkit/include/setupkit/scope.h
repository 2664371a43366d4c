// The install scope, as the process token decides it, and the Programs folder it selects.
#pragma once

#include "setupkit/programs_folder.h"

// 1 when the calling thread's token (or, without one, the process token) passes an access check
// against a descriptor that grants access to BUILTIN\Administrators only; 0 otherwise, also when any
// platform call on the way fails. A thread that impersonates is tested on every call; the process
// token's answer is worked out once and kept.
int is_user_admin();

// is_user_admin's answer as a scope: machine scope for an administrator.
Scope install_scope();

// The Programs folder of the current scope (all users' for 1, the user's for 0), without creating
// it and without a trailing backslash; "" when the shell cannot supply it.
// Two-call protocol: a capacity above 0 first makes the buffer ""; when the capacity holds the path
// and its terminator the path is copied and 0 returned, otherwise that size is returned.
int get_programs_folder(wchar_t* buffer, unsigned int capacity);
