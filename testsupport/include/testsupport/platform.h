// Telling Wine from Windows, for the few checks where Wine is known to differ, and a 32-bit
// process on 64-bit Windows from a native one.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// True when ntdll exports wine_get_version.
bool running_under_wine();

// True for a 32-bit process on 64-bit Windows (WoW64): the registry under HKLM\Software it sees
// by default is the 32-bit view (Wow6432Node).
bool is_wow64_process();

// The system's text for an error code the tests provoke (ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND,
// ERROR_BAD_EXE_FORMAT) as Wine 8 or Windows words it, with its line break; "" for another code.
std::wstring expected_system_text(DWORD code);

} // namespace testsupport
