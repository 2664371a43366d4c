#include "setupkit/paths.h"

#include "module_path.h"
#include "path_compare.h"
#include "record_sizes.h"
#include "unlinked_creation.h"

#include <windows.h>
#include <aclapi.h>
#include <shlwapi.h>

#include <cwchar>
#include <new>

ASSERT_32BIT_SIZE(SECURITY_DESCRIPTOR_MIN_LENGTH, 20);

namespace {

constexpr int kInstallRootLevels = 5;
// Files of 2 GiB or more are not read: neither the byte count handed back nor the release
// readers' signed sizes could describe them.
constexpr LONGLONG kReadLimitBytes = 0x7FFFFFFF;

// GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | WRITE_DAC | READ_CONTROL | DELETE and the
// thirteen specific rights: everything but WRITE_OWNER and SYNCHRONIZE.
constexpr DWORD kSharedDirectoryAccess = 0xE0071FFF;

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

bool strip_last_component(wchar_t* path)
{
    PathRemoveBackslashW(path);
    wchar_t* last_backslash = wcsrchr(path, L'\\');
    if (!last_backslash)
        return false;
    last_backslash[1] = L'\0';
    return true;
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

int ensure_directory(const wchar_t* path)
{
    if (path_exists(path))
        return 1;
    return CreateDirectoryW(path, nullptr) ? 1 : 0;
}

int create_directory_tree(const wchar_t* path)
{
    const size_t length = wcslen(path);
    wchar_t* parent = new wchar_t[length + 1];
    wcscpy(parent, path);
    strip_last_component(parent);
    if (wcscmp(parent, path) != 0)
        create_directory_tree(parent);
    delete[] parent;
    CreateDirectoryW(path, nullptr);
    return 0;
}

int create_shared_directory(const wchar_t* path)
{
    PSID everyone = nullptr;
    PACL access_list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
    EXPLICIT_ACCESSW entry = {};
    SECURITY_ATTRIBUTES attributes = {};

    if (!AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        goto cleanup;

    entry.grfAccessPermissions = kSharedDirectoryAccess;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = CONTAINER_INHERIT_ACE;
    entry.Trustee.pMultipleTrustee = nullptr;
    entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
    if (SetEntriesInAclW(1, &entry, nullptr, &access_list) != ERROR_SUCCESS)
        goto cleanup;

    descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (!descriptor)
        goto cleanup;
    if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION))
        goto cleanup;
    if (!SetSecurityDescriptorDacl(descriptor, TRUE, access_list, FALSE))
        goto cleanup;

    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    CreateDirectoryW(path, &attributes);

cleanup:
    if (descriptor)
        LocalFree(descriptor);
    if (access_list)
        LocalFree(access_list);
    if (everyone)
        FreeSid(everyone);
    return 0;
}

namespace {

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
