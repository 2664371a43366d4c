// Telling Wine from Windows, for the few checks where Wine is known to differ, and a 32-bit
// process on 64-bit Windows from a native one.
#pragma once

namespace testsupport {

// True when ntdll exports wine_get_version.
bool running_under_wine();

// True for a 32-bit process on 64-bit Windows (WoW64): the registry under HKLM\Software it sees
// by default is the 32-bit view (Wow6432Node).
bool is_wow64_process();

} // namespace testsupport
