#include "setupkit/paths.h"

#include "path_compare.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

bool strip_last_component(wchar_t* path)
{
    PathRemoveBackslashW(path);
    wchar_t* last_backslash = wcsrchr(path, L'\\');
    if (!last_backslash)
        return false;
    last_backslash[1] = L'\0';
    return true;
}

bool path_lies_within(const wchar_t* path, const wchar_t* root)
{
    size_t root_length = wcslen(root);
    // A drive root's backslash is the boundary itself.
    if (root_length > 0 && root[root_length - 1] == L'\\')
        --root_length;
    const size_t path_length = wcslen(path);
    if (root_length == 0 || path_length < root_length || !same_path_text(path, root, root_length))
        return false;
    return path[root_length] == L'\0' || path[root_length] == L'\\';
}

bool path_exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}
