// Telling Wine from Windows, for the few checks where Wine is known to differ.
#pragma once

namespace testsupport {

// True when ntdll exports wine_get_version.
bool running_under_wine();

} // namespace testsupport
