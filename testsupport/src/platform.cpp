#include "testsupport/platform.h"

#include <windows.h>

namespace testsupport {

bool running_under_wine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool is_wow64_process()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::wstring expected_system_text(DWORD code)
{
    // Measured; the inserts stay as they are.
    struct Text {
        DWORD code;
        const wchar_t* wine;
        const wchar_t* windows;
    };
    const Text texts[] = {
        {ERROR_ACCESS_DENIED, L"Access denied.\r\n", L"Access is denied.\r\n"},
        {ERROR_FILE_NOT_FOUND, L"File not found.\r\n", L"The system cannot find the file specified.\r\n"},
        {ERROR_BAD_EXE_FORMAT, L"Bad EXE format for %1.\r\n", L"%1 is not a valid Win32 application.\r\n"},
    };
    for (const Text& text : texts) {
        if (text.code == code)
            return running_under_wine() ? text.wine : text.windows;
    }
    return std::wstring();
}

} // namespace testsupport
