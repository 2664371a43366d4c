// Small registry look-ups under HKEY_LOCAL_MACHINE and elsewhere.
#pragma once

#include <windows.h>

// True when HKEY_LOCAL_MACHINE\<subkey_path> already existed and one of its direct sub-keys has
// a name containing `text`, ignoring the case of ASCII letters only. A missing key is created
// empty as a side effect where the process may create it. use_64bit_view adds KEY_WOW64_64KEY.
bool registry_has_subkey_containing(const wchar_t* subkey_path, const wchar_t* text, bool use_64bit_view);

// Copies source into destination with a to z capitalised and every other unit unchanged.
// destination holds wcslen(source) + 1 characters; it may be source itself.
void to_upper_ascii(const wchar_t* source, wchar_t* destination);

// The characters read_registry_string's output buffer must hold, terminator included.
constexpr int kRegistryStringChars = 260;

// Reads root\subkey_path's value value_name as text (whatever its type) into buffer, which holds
// kRegistryStringChars characters: at most 259 and a terminator. A missing value, or one too long
// for the buffer, gives ""; a key that cannot be opened leaves the buffer untouched. An empty
// subkey_path reads from root itself, which stays open.
void read_registry_string(HKEY root, const wchar_t* subkey_path, wchar_t* buffer, const wchar_t* value_name);
