#include "setupkit/release_info.h"

#include "setupkit/paths.h"
#include "setupkit/strings.h"
#include "module_path.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <cwchar>

namespace {

const wchar_t kReleaseTag[] = L"182";
const wchar_t kReleaseFolderPrefix[] = L"v";
const char kFolderNameKey[] = "startMenuFolderName";
const char kRevisionSuffixKey[] = "startMenuShortcutAppendRevision";
const wchar_t kGlobalFileBelowRoot[] = L"\\commonfiles\\globalsettings\\relinfo.xml";
const wchar_t kLocalFileName[] = L"relinfo.xml";

// Copies the text and returns 0 when the buffer holds it and its terminator, else returns that size.
int copy_if_it_fits(const wchar_t* text, wchar_t* buffer, int capacity)
{
    const int size = static_cast<int>(wcslen(text)) + 1;
    int result = size;
    if (buffer && capacity >= size) {
        wcscpy(buffer, text);
        result = 0;
    }
    return result;
}

// First occurrence of `needle` within the `length` bytes at `haystack`, or null.
const char* find_bytes(const char* haystack, size_t length, const char* needle, size_t needle_length)
{
    if (needle_length > length)
        return nullptr;
    const char* last_start = haystack + (length - needle_length);
    for (const char* at = haystack; at <= last_start; ++at) {
        if (memcmp(at, needle, needle_length) == 0)
            return at;
    }
    return nullptr;
}

wchar_t* local_file_path()
{
    wchar_t module_path[kModulePathChars];
    read_module_path(module_path);
    strip_last_component(module_path);
    return concat_strings(2, module_path, kLocalFileName);
}

wchar_t* global_file_path()
{
    const int size = get_install_root(nullptr, 0);
    wchar_t* install_root = new wchar_t[size];
    get_install_root(install_root, size);
    wchar_t* path = concat_strings(2, install_root, kGlobalFileBelowRoot);
    free_string(&install_root);
    return path;
}

// The shared algorithm of the three readers; takes over `file_path` and releases it.
int read_release_value(wchar_t* file_path, const char* key, wchar_t** buffer)
{
    int size = 1;
    char* content = nullptr;
    unsigned long length = 0;
    if (buffer)
        (*buffer)[0] = L'\0';

    // A failed read still leaves the bytes read so far, which are searched all the same.
    read_whole_file(file_path, &content, &length);
    if (content) {
        const char* end = content + length;
        const char* found = find_bytes(content, length, key, strlen(key));
        const char* opening = found ? static_cast<const char*>(memchr(found, '"', end - found)) : nullptr;
        const char* value = opening ? opening + 1 : nullptr;
        const char* closing = value ? static_cast<const char*>(memchr(value, '"', end - value)) : nullptr;
        const size_t value_bytes = closing ? static_cast<size_t>(closing - value) : 0;
        // The result is a signed size; a value of 2 GiB or more is treated as none.
        if (closing && value_bytes < static_cast<size_t>(INT_MAX)) {
            size = static_cast<int>(value_bytes) + 1;
            if (buffer && value_bytes > 0) {
                // UTF-8 never needs more UTF-16 units than bytes, and invalid bytes become one
                // replacement character each, so n units always suffice.
                const int converted = MultiByteToWideChar(CP_UTF8, 0, value, static_cast<int>(value_bytes),
                                                          *buffer, static_cast<int>(value_bytes));
                (*buffer)[converted] = L'\0';
            }
        }
    }

    delete[] content;
    free_string(&file_path);
    return size;
}

} // namespace

int read_local_revision_suffix(wchar_t** buffer)
{
    return read_release_value(local_file_path(), kRevisionSuffixKey, buffer);
}

int read_start_menu_folder_name(wchar_t** buffer)
{
    return read_release_value(global_file_path(), kFolderNameKey, buffer);
}

int read_global_revision_suffix(wchar_t** buffer)
{
    return read_release_value(global_file_path(), kRevisionSuffixKey, buffer);
}

int get_release_tag(wchar_t* buffer, int capacity)
{
    return copy_if_it_fits(kReleaseTag, buffer, capacity);
}

int get_release_folder_name(wchar_t* buffer, int capacity)
{
    wchar_t* folder = concat_strings(2, kReleaseFolderPrefix, kReleaseTag);
    const int result = copy_if_it_fits(folder, buffer, capacity);
    free_string(&folder);
    return result;
}
