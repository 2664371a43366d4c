#include "setupkit/programs_folder.h"

#include <windows.h>
#include <shlobj.h>

static_assert(kProgramsFolderChars == MAX_PATH + 1, "the shell writes at most MAX_PATH characters");

bool scope_programs_folder(Scope scope, wchar_t* path)
{
    path[0] = L'\0';
    // A failed query leaves "" here, which the start-menu operations take as "no Programs folder".
    if (!SHGetSpecialFolderPathW(nullptr, path, scope == kMachineScope ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS,
                                 FALSE))
        path[0] = L'\0';
    path[kProgramsFolderChars - 1] = L'\0';
    return path[0] != L'\0';
}
