#include "setupkit/directories.h"

#include "record_sizes.h"

#include "setupkit/paths.h"

#include <windows.h>
#include <aclapi.h>

#include <cwchar>

ASSERT_32BIT_SIZE(SECURITY_DESCRIPTOR_MIN_LENGTH, 20);

namespace {

// GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | WRITE_DAC | READ_CONTROL | DELETE and the
// thirteen specific rights: everything but WRITE_OWNER and SYNCHRONIZE.
constexpr DWORD kSharedDirectoryAccess = 0xE0071FFF;

} // namespace

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
