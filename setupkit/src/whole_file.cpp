#include "setupkit/whole_file.h"

#include "unlinked_creation.h"

#include <windows.h>

#include <cwchar>
#include <new>

namespace {

// Files of 2 GiB or more are not read: neither the byte count handed back nor the release
// readers' signed sizes could describe them.
constexpr LONGLONG kReadLimitBytes = 0x7FFFFFFF;

// Where create_file_through_no_link starts checking: the file's folder, or the first folder after the
// trusted part if that lies higher; never the drive (a volume's root is no reparse point).
size_t first_checked_component(const wchar_t* path, size_t trusted_length)
{
    const wchar_t* name = wcsrchr(path, L'\\');
    const wchar_t* first = wcschr(path, L'\\');
    const wchar_t* folder = name;
    while (folder && folder > path && *(folder - 1) != L'\\')
        --folder;
    size_t checked_from = folder && folder > path ? static_cast<size_t>(folder - path) : 0;
    if (trusted_length < checked_from)
        checked_from = trusted_length + 1;
    if (first && checked_from <= static_cast<size_t>(first - path))
        checked_from = static_cast<size_t>(first - path) + 1;
    return checked_from;
}

} // namespace

int read_whole_file(const wchar_t* path, char** content, unsigned long* bytes_read, MissingFile missing,
                    size_t trusted_length)
{
    int result = 0;
    char* bytes = nullptr;
    LARGE_INTEGER measured = {};
    DWORD size = 0;
    DWORD done = 0;
    BOOL last_read_ok = TRUE;
    if (bytes_read)
        *bytes_read = 0;
    const bool create = missing == MissingFile::kCreate;
    HANDLE file = CreateFileW(path, GENERIC_READ, create ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // A user who may write the tree could have made a folder on the path a junction: the program,
    // running elevated, would then create the file wherever that leads.
    if (file == INVALID_HANDLE_VALUE && create && GetLastError() == ERROR_FILE_NOT_FOUND)
        file = create_file_through_no_link(path, first_checked_component(path, trusted_length));
    if (file == INVALID_HANDLE_VALUE)
        goto cleanup;

    if (!GetFileSizeEx(file, &measured) || measured.QuadPart < 0 || measured.QuadPart >= kReadLimitBytes)
        goto cleanup;
    size = static_cast<DWORD>(measured.QuadPart);
    // One zero byte past the content keeps careless text searches inside the allocation. A 32-bit
    // process may lack the address space for a large file: a failed read, not the end of the program.
    bytes = new (std::nothrow) char[static_cast<size_t>(size) + 1];
    if (!bytes)
        goto cleanup;

    while (done < size) {
        DWORD delivered = 0;
        last_read_ok = ReadFile(file, bytes + done, size - done, &delivered, nullptr);
        // A file that shrank since it was measured delivers nothing more: stop there.
        if (!last_read_ok || delivered == 0)
            break;
        done += delivered;
    }
    bytes[done] = '\0';
    if (bytes_read)
        *bytes_read = done;
    *content = bytes;
    bytes = nullptr;
    result = last_read_ok ? 1 : 0;

cleanup:
    delete[] bytes;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return result;
}
