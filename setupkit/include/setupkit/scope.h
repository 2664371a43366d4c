// The install scope and the start menu's Programs folder that it selects.
#pragma once

// Where the suite registers: the machine (all users) or the current user only. The values are the
// scope numbers the environment operations take.
enum Scope : int { kUserScope = 0, kMachineScope = 1 };

// 1 when the calling thread's token (or, without one, the process token) passes an access check
// against a descriptor that grants access to BUILTIN\Administrators only; 0 otherwise, also when any
// platform call on the way fails. A thread that impersonates is tested on every call; the process
// token's answer is worked out once and kept.
int is_user_admin();

// is_user_admin's answer as a scope: machine scope for an administrator.
Scope install_scope();

constexpr unsigned int kProgramsFolderChars = 261;

// The scope's Programs folder (all users' or the user's) in `path` (kProgramsFolderChars
// characters), without creating it and without a trailing backslash; false and "" when the shell
// cannot supply it.
bool scope_programs_folder(Scope scope, wchar_t* path);

// The Programs folder of the current scope (all users' for 1, the user's for 0), without creating
// it and without a trailing backslash; "" when the shell cannot supply it.
// Two-call protocol: a capacity above 0 first makes the buffer ""; when the capacity holds the path
// and its terminator the path is copied and 0 returned, otherwise that size is returned.
int get_programs_folder(wchar_t* buffer, unsigned int capacity);
