#include "setupkit/release_info.h"

#include "setupkit/install_root.h"
#include "setupkit/paths.h"
#include "setupkit/strings.h"
#include "setupkit/whole_file.h"
#include "module_path.h"
#include "release_values.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

const wchar_t kReleaseTag[] = L"182";
const wchar_t kReleaseFolderPrefix[] = L"v";
const char kFolderNameKey[] = "startMenuFolderName";
const char kRevisionSuffixKey[] = "startMenuShortcutAppendRevision";
const wchar_t kLocalFileName[] = L"relinfo.xml";
// The local file is checked for links at its own name and the program's folder only.
const size_t kLocalFolderOnly = static_cast<size_t>(-1);

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

// relinfo.xml beside the running program; new[], the caller frees it (free_string).
wchar_t* local_file_path()
{
    wchar_t module_path[kModulePathChars];
    read_module_path(module_path);
    strip_last_component(module_path);
    return concat_strings(2, module_path, kLocalFileName);
}

// The global file's path, new[] (free_string), and through *root_length the length of the install
// root, the part of the path that links may lead through.
wchar_t* global_file_path(size_t* root_length)
{
    const int size = get_install_root(nullptr, 0);
    wchar_t* install_root = new wchar_t[size];
    get_install_root(install_root, size);
    *root_length = wcslen(install_root);
    wchar_t* path = concat_strings(2, install_root, kReleaseFileBelowRoot);
    free_string(&install_root);
    return path;
}

// The key's value in the bytes as a new string (free_string), "" without one, and through *size
// n + 1 for a value of n bytes (1 without one).
wchar_t* value_in_bytes(const char* content, size_t length, const char* key, int* size)
{
    wchar_t* value = nullptr;
    *size = 1;
    const char* end = content + length;
    const char* found = find_bytes(content, length, key, strlen(key));
    const char* opening = found ? static_cast<const char*>(memchr(found, '"', end - found)) : nullptr;
    const char* text = opening ? opening + 1 : nullptr;
    const char* closing = text ? static_cast<const char*>(memchr(text, '"', end - text)) : nullptr;
    const size_t value_bytes = closing ? static_cast<size_t>(closing - text) : 0;
    // The result is a signed size; a value of 2 GiB or more is treated as none, and so is one
    // whose characters cannot be allocated.
    if (closing && value_bytes < static_cast<size_t>(INT_MAX))
        value = new (std::nothrow) wchar_t[value_bytes + 1];
    if (value) {
        // UTF-8 never needs more UTF-16 units than bytes, and invalid bytes become one
        // replacement character each, so n units always suffice.
        const int converted = value_bytes > 0 ? MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(value_bytes),
                                                                    value, static_cast<int>(value_bytes))
                                              : 0;
        value[converted] = L'\0';
        *size = static_cast<int>(value_bytes) + 1;
    }
    return value ? value : concat_strings(0);
}

// Reads the file once: the key's value as a new string (free_string), "" without one, and through
// *size n + 1 for a value of n bytes (1 without one). A missing file is created unless a link lies
// on its path after the first `trusted_length` characters.
wchar_t* read_release_value(const wchar_t* file_path, size_t trusted_length, const char* key, int* size)
{
    char* content = nullptr;
    unsigned long length = 0;
    *size = 1;
    // A failed read still leaves the bytes read so far, which are searched all the same.
    read_whole_file(file_path, &content, &length, MissingFile::kCreate, trusted_length);
    wchar_t* value = content ? value_in_bytes(content, length, key, size) : concat_strings(0);
    delete[] content;
    return value;
}

enum Reader { kLocalSuffix, kFolderName, kGlobalSuffix, kReaderCount };

// A thread-local slot per reader for what its last size query on the thread returned (0 before the
// first): the fill call writes no more than that, so a file that grew since cannot overflow the
// caller's buffer. Win32 slots, allocated on first use, because the programs link no thread runtime.
volatile LONG size_slots[kReaderCount] = {static_cast<LONG>(TLS_OUT_OF_INDEXES), static_cast<LONG>(TLS_OUT_OF_INDEXES),
                                          static_cast<LONG>(TLS_OUT_OF_INDEXES)};

DWORD size_slot(Reader reader)
{
    const LONG none = static_cast<LONG>(TLS_OUT_OF_INDEXES);
    if (size_slots[reader] == none) {
        const LONG slot = static_cast<LONG>(TlsAlloc());
        // Another thread may have been first: its slot stays, ours goes back.
        if (InterlockedCompareExchange(&size_slots[reader], slot, none) != none && slot != none)
            TlsFree(static_cast<DWORD>(slot));
    }
    return static_cast<DWORD>(size_slots[reader]);
}

int queried_size(Reader reader)
{
    const DWORD slot = size_slot(reader);
    return slot == TLS_OUT_OF_INDEXES ? 0 : static_cast<int>(reinterpret_cast<ULONG_PTR>(TlsGetValue(slot)));
}

void remember_queried_size(Reader reader, int size)
{
    const DWORD slot = size_slot(reader);
    if (slot != TLS_OUT_OF_INDEXES)
        TlsSetValue(slot, reinterpret_cast<void*>(static_cast<ULONG_PTR>(size)));
}

// The two-call protocol over one reading of the file per call.
int read_into(Reader reader, const wchar_t* file_path, size_t trusted_length, const char* key, wchar_t** buffer)
{
    int size = 1;
    wchar_t* value = read_release_value(file_path, trusted_length, key, &size);
    if (!buffer) {
        remember_queried_size(reader, size);
    } else {
        const int queried = queried_size(reader);
        const size_t capacity = queried > 0 ? static_cast<size_t>(queried) : 1;
        const size_t length = wcslen(value);
        if (length < capacity)
            wmemcpy(*buffer, value, length + 1);
        else
            (*buffer)[0] = L'\0';
    }
    free_string(&value);
    return size;
}

} // namespace

int read_local_revision_suffix(wchar_t** buffer)
{
    wchar_t* path = local_file_path();
    const int size = read_into(kLocalSuffix, path, kLocalFolderOnly, kRevisionSuffixKey, buffer);
    free_string(&path);
    return size;
}

int read_start_menu_folder_name(wchar_t** buffer)
{
    size_t root_length = 0;
    wchar_t* path = global_file_path(&root_length);
    const int size = read_into(kFolderName, path, root_length, kFolderNameKey, buffer);
    free_string(&path);
    return size;
}

int read_global_revision_suffix(wchar_t** buffer)
{
    size_t root_length = 0;
    wchar_t* path = global_file_path(&root_length);
    const int size = read_into(kGlobalSuffix, path, root_length, kRevisionSuffixKey, buffer);
    free_string(&path);
    return size;
}

wchar_t* copy_local_revision_suffix()
{
    int size = 0;
    wchar_t* path = local_file_path();
    wchar_t* suffix = read_release_value(path, kLocalFolderOnly, kRevisionSuffixKey, &size);
    free_string(&path);
    return suffix;
}

wchar_t* copy_global_revision_suffix()
{
    int size = 0;
    size_t root_length = 0;
    wchar_t* path = global_file_path(&root_length);
    wchar_t* suffix = read_release_value(path, root_length, kRevisionSuffixKey, &size);
    free_string(&path);
    return suffix;
}

wchar_t* find_release_value(const char* content, unsigned long length, const char* key)
{
    int size = 0;
    return value_in_bytes(content, length, key, &size);
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
