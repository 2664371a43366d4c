// Persistent environment variables: values of the machine environment key (scope 1,
// HKLM\System\CurrentControlSet\Control\Session Manager\Environment) or the user environment key
// (scope 0, HKCU\Environment). Every other scope is invalid. Keys are opened with KEY_ALL_ACCESS,
// never created, and closed before returning. Every successful write or deletion is announced with
// the environment-change broadcast (WM_SETTINGCHANGE, lParam "Environment", 50 ms per window).
// Results: 0, E_FAIL (the scope's key cannot be opened) or E_INVALIDARG.
#pragma once

#include "setupkit/scope.h"

#include <windows.h>

// The two environment keys: below HKEY_LOCAL_MACHINE (machine scope) and HKEY_CURRENT_USER (user scope).
inline constexpr wchar_t kMachineEnvironmentKey[] =
    L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr wchar_t kUserEnvironmentKey[] = L"Environment";

// Where a scope's variables live: the root key, its short name in reports ("HKLM"), the path below it.
struct EnvironmentKey {
    HKEY root;
    const wchar_t* root_name;
    const wchar_t* path;
};

// The machine key for machine scope, the user's key for any other value.
inline EnvironmentKey environment_key(int scope)
{
    return scope == kMachineScope ? EnvironmentKey{HKEY_LOCAL_MACHINE, L"HKLM", kMachineEnvironmentKey}
                                  : EnvironmentKey{HKEY_CURRENT_USER, L"HKCU", kUserEnvironmentKey};
}

// Stores `value` under `name` with registry type `type`: for REG_SZ and REG_EXPAND_SZ a wide string
// stored with its terminator, for any other type the 4 bytes that `value` points at. A REG_SZ value
// is also set in the running process. A failed store returns 0 with nothing set or broadcast.
// E_INVALIDARG, with nothing opened, for an invalid scope or a null name or value.
int set_environment_variable(const wchar_t* name, const void* value, unsigned long type, int scope);

// Deletes the value `name` and removes it from the running process. Machine scope deletes the
// user-scope value first (up to two broadcasts) and returns E_FAIL when the machine key cannot be
// opened, even after the user value went. A missing value is not an error. E_INVALIDARG, with
// nothing opened, for an invalid scope or a null name.
int delete_environment_variable(const wchar_t* name, int scope);

// delete_environment_variable, except that each key's value goes only while it is a string (REG_SZ or
// REG_EXPAND_SZ, compared unexpanded) that equals `root` or lies below it: compared ordinally and
// case-insensitively, on a component boundary (D:\S\v182 covers D:\S\v182\Lib, not D:\S\v1820). A
// value elsewhere or of another type stays. E_INVALIDARG, with nothing opened, also for a null root.
int delete_environment_variable_within(const wchar_t* name, const wchar_t* root, int scope);

// TALVO_ROOT182 from the running process's environment (never the registry). Two-call protocol:
// fills the buffer and returns 0 when capacity >= the size needed (0 when unset), else returns that
// size with the buffer untouched.
int get_install_root_variable(wchar_t* buffer, int capacity);
