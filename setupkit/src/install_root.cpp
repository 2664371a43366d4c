#include "setupkit/install_root.h"

#include "module_path.h"

#include "setupkit/paths.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

namespace {

constexpr int kInstallRootLevels = 5;

} // namespace

DWORD read_module_path(wchar_t* buffer)
{
    const DWORD reported = GetModuleFileNameW(nullptr, buffer, kModulePathChars);
    // XP leaves a truncated name unterminated.
    buffer[kModulePathChars - 1] = L'\0';
    if (reported == 0)
        buffer[0] = L'\0';
    return reported;
}

void strip_path_levels(const wchar_t* source, wchar_t* destination)
{
    wcscpy(destination, source);
    for (int level = 0; level < kInstallRootLevels; ++level) {
        strip_last_component(destination);
        PathRemoveBackslashW(destination);
    }
}

int get_install_root(wchar_t* buffer, int capacity)
{
    wchar_t module_path[kModulePathChars];
    read_module_path(module_path);
    const int needed = static_cast<int>(wcslen(module_path)) + 1;
    // A null buffer is a size query whatever capacity comes with it.
    if (!buffer || capacity < needed)
        return needed;
    strip_path_levels(module_path, buffer);
    return 0;
}

int get_module_path(wchar_t* buffer, int capacity)
{
    wchar_t module_path[kModulePathChars];
    const int needed = static_cast<int>(read_module_path(module_path)) + 1;
    if (!buffer || capacity < needed)
        return needed;
    wcscpy(buffer, module_path);
    return 0;
}
