#include "setupkit/dll_search.h"

#include <windows.h>

namespace {

typedef BOOL(WINAPI* set_default_dll_directories_function)(DWORD);
typedef BOOL(WINAPI* set_dll_directory_function)(LPCWSTR);

// Vista with the update has SetDefaultDllDirectories, but the shell's link object is reported not to
// come up after it (7-Zip leaves Vista out for that reason), and postinstall needs that object. The
// manifest declares Vista and 7, so later versions do not report themselves as 6.0.
bool is_vista()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#ifdef _MSC_VER
#pragma warning(push)
#pragma warning(disable : 4996)
#endif
    const bool known = GetVersionExW(&version) != FALSE;
#ifdef _MSC_VER
#pragma warning(pop)
#endif
    return known && version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
}

} // namespace

DllSearch restrict_dll_search()
{
    DllSearch result = DllSearch::kUnchanged;
    set_default_dll_directories_function set_default_dll_directories = nullptr;
    set_dll_directory_function set_dll_directory = nullptr;
    // kernel32 is mapped before any of the program's code runs: finding it involves no search.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel) {
        set_default_dll_directories = reinterpret_cast<set_default_dll_directories_function>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        set_dll_directory = reinterpret_cast<set_dll_directory_function>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
    }
    if (set_default_dll_directories && !is_vista() && set_default_dll_directories(kSearchSystemFolderOnly))
        result = DllSearch::kSystemFolderOnly;
    else if (set_dll_directory && set_dll_directory(L""))
        result = DllSearch::kCurrentFolderRemoved;
    return result;
}
