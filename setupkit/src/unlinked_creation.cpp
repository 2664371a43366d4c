#include "unlinked_creation.h"

#include <cwchar>

namespace {

// Asked both of the handle and by name: Windows answers both alike, while Wine reports a Unix symbolic
// link as a reparse point by name only (its handles lead to the target).
bool is_plain_folder(HANDLE folder, const wchar_t* path)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           GetFileInformationByHandle(folder, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// `path` is the caller's writable copy; the components from `at` on are checked, outermost first.
HANDLE create_below(wchar_t* path, size_t at)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE folder = INVALID_HANDLE_VALUE;
    wchar_t* separator = wcschr(path + at, L'\\');
    if (!separator) {
        // New, and the name itself rather than where a link leads: a link there counts as existing.
        file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    } else {
        *separator = L'\0';
        // Read access, so that sharing applies: while this handle withholds FILE_SHARE_DELETE, nobody
        // can rename, remove or replace the folder.
        folder = CreateFileW(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                             nullptr);
        const bool plain = folder != INVALID_HANDLE_VALUE && is_plain_folder(folder, path);
        *separator = L'\\';
        if (plain)
            file = create_below(path, static_cast<size_t>(separator - path) + 1);
    }
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    return file;
}

} // namespace

HANDLE create_file_through_no_link(const wchar_t* path, size_t checked_from)
{
    const size_t length = wcslen(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    wchar_t* copy = new wchar_t[length + 1];
    wmemcpy(copy, path, length + 1);
    if (checked_from <= length)
        file = create_below(copy, checked_from);
    delete[] copy;
    return file;
}
