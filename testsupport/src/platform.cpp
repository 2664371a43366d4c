#include "testsupport/platform.h"

#include <windows.h>

namespace testsupport {

bool running_under_wine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace testsupport
