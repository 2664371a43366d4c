#include "special_folder_guard.h"

#include "path_compare.h"

#include "setupkit/strings.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

namespace {

// The special folders that can lie inside a Programs folder, of both scopes, and the Programs and
// Start Menu folders themselves. Only these are asked for: asking for all the shell's folders cost
// more than the start-menu work itself.
const int kGuardedFolders[] = {CSIDL_PROGRAMS,   CSIDL_COMMON_PROGRAMS,   CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU,
                               CSIDL_STARTUP,    CSIDL_COMMON_STARTUP,    CSIDL_ALTSTARTUP, CSIDL_COMMON_ALTSTARTUP,
                               CSIDL_ADMINTOOLS, CSIDL_COMMON_ADMINTOOLS};
constexpr int kGuardedCount = sizeof(kGuardedFolders) / sizeof(kGuardedFolders[0]);

// A folder is told by the number its file system gives it, never by the text that named it: a short
// name, "\\?\", doubled or forward separators, trailing dots and spaces, letter case and junctions
// all open the one folder, and no rewriting of the text catches them all (GetLongPathNameW would
// still leave letter case, prefixes and junctions to the text). The number is the file index that
// GetFileInformationByHandle reports, which with the volume's serial number names one folder.
// GetFileInformationByHandle asks for the volume too, which costs Wine about a millisecond a call:
// the index comes alone from ntdll's NtQueryInformationFile (there since Windows NT 3.1, looked up
// at run time as ntdll is no import of ours), and the volume is asked for only when an index matches.
using QueryInformationFile = LONG(__stdcall*)(HANDLE file, void* status_block, void* information, ULONG length,
                                              int information_class);
constexpr int kFileInternalInformation = 6;

// A file system without stable file IDs reports 0, one that cannot make a unique ID reports all
// ones, and both values are to be ignored (MS-FSCC 2.1.9, "64-bit file ID"): on such a volume, a
// Start Menu redirected to a server for one, every folder would "match" every other. There the
// folders' long paths are compared instead.
constexpr ULONGLONG kNoStableIndex = 0;
constexpr ULONGLONG kNoUniqueIndex = ~0ULL;

// IO_STATUS_BLOCK, which only the driver kit's headers declare.
struct StatusBlock {
    LONG_PTR status;
    ULONG_PTR information;
};

// Opens what the path names, folder or file, to read its attributes: allowed wherever the folder
// above may be listed. Every share mode lets the handle coexist with whoever holds the folder open.
HANDLE open_for_attributes(const wchar_t* path)
{
    return CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Through GetFileInformationByHandle when ntdll's query is not at hand.
bool read_file_index(QueryInformationFile query, HANDLE handle, ULONGLONG* index)
{
    StatusBlock status = {};
    ULARGE_INTEGER number = {};
    BY_HANDLE_FILE_INFORMATION information = {};
    if (query) {
        if (query(handle, &status, &number, sizeof(number), kFileInternalInformation) < 0)
            return false;
    } else {
        if (!GetFileInformationByHandle(handle, &information))
            return false;
        number.HighPart = information.nFileIndexHigh;
        number.LowPart = information.nFileIndexLow;
    }
    *index = number.QuadPart;
    return true;
}

void read_volume(HANDLE handle, FolderIdentity* identity)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    identity->volume_read = GetFileInformationByHandle(handle, &information) != FALSE;
    identity->volume_serial = information.dwVolumeSerialNumber;
}

void read_volume_of(const wchar_t* path, FolderIdentity* identity)
{
    const HANDLE handle = open_for_attributes(path);
    identity->volume_read = false;
    if (handle == INVALID_HANDLE_VALUE)
        return;
    read_volume(handle, identity);
    CloseHandle(handle);
}

bool unusable_index(ULONGLONG index)
{
    return index == kNoStableIndex || index == kNoUniqueIndex;
}

struct SpecialFolders {
    QueryInformationFile query_index;
    int count;
    FolderIdentity identities[kGuardedCount]; // the index only; volumes are read when needed
    wchar_t paths[kGuardedCount][MAX_PATH + 1];
};

// Asked for on first use and kept for the rest of the process (one install or uninstall step; a
// special folder made meanwhile is not looked for).
// The shipped code has neither locks nor guarded statics, yet threads may ask at once (the tests
// do): each that finds no set asks for the folders itself and offers its own; the first offered is
// kept, the others are freed. Never freed itself: the process's end releases it.
void* volatile g_special_folders = nullptr;

const SpecialFolders& special_folders()
{
    void* const kept = InterlockedCompareExchangePointer(&g_special_folders, nullptr, nullptr);
    if (kept)
        return *static_cast<const SpecialFolders*>(kept);
    SpecialFolders* found = new SpecialFolders();
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll)
        found->query_index = reinterpret_cast<QueryInformationFile>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")));
    for (const int csidl : kGuardedFolders) {
        wchar_t* const path = found->paths[found->count];
        // A folder the shell does not name, or that does not exist, holds nothing to protect.
        if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE))
            continue;
        path[MAX_PATH] = L'\0';
        const HANDLE handle = open_for_attributes(path);
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        // One whose index cannot be read is still guarded, by its name.
        FolderIdentity& identity = found->identities[found->count++];
        identity.index_read = read_file_index(found->query_index, handle, &identity.index);
        CloseHandle(handle);
    }
    void* const earlier = InterlockedCompareExchangePointer(&g_special_folders, found, nullptr);
    if (!earlier)
        return *found;
    delete found;
    return *static_cast<const SpecialFolders*>(earlier);
}

// The path as the file system names it: full, long names for short ones, plain separators, no
// "\\?\" and no trailing backslash; new[] (free_string), null when it cannot be worked out.
wchar_t* long_path(const wchar_t* path)
{
    wchar_t* full = nullptr;
    wchar_t* resolved = nullptr;
    const DWORD full_size = GetFullPathNameW(path, 0, nullptr, nullptr);
    DWORD long_size = 0;
    if (full_size == 0)
        goto cleanup;
    full = new wchar_t[full_size];
    if (GetFullPathNameW(path, full_size, full, nullptr) >= full_size)
        goto cleanup;
    long_size = GetLongPathNameW(full, nullptr, 0);
    if (long_size == 0)
        goto cleanup;
    resolved = new wchar_t[long_size];
    if (GetLongPathNameW(full, resolved, long_size) >= long_size) {
        free_string(&resolved);
        goto cleanup;
    }
    PathRemoveBackslashW(resolved);

cleanup:
    free_string(&full);
    return resolved;
}

Level settle(IdentityDecision decision, const wchar_t* path, const wchar_t* special_path)
{
    switch (decision) {
    case IdentityDecision::kAbsent:
        return Level::kAbsent;
    case IdentityDecision::kDifferent:
        return Level::kOrdinary;
    case IdentityDecision::kUnknown:
        return same_long_path(path, special_path) ? Level::kSpecial : Level::kOrdinary;
    default:
        return Level::kSpecial;
    }
}

} // namespace

IdentityDecision decide_identity(const FolderIdentity& level, const FolderIdentity& special)
{
    if (level.open_error == ERROR_FILE_NOT_FOUND || level.open_error == ERROR_PATH_NOT_FOUND ||
        level.open_error == ERROR_INVALID_NAME || level.open_error == ERROR_BAD_PATHNAME)
        return IdentityDecision::kAbsent;
    // Access denied among others: something is there that we may not look at, so we may not touch it.
    if (level.open_error != ERROR_SUCCESS || !level.index_read)
        return IdentityDecision::kRefused;
    if (!special.index_read || unusable_index(level.index) || unusable_index(special.index))
        return IdentityDecision::kUnknown;
    if (level.index != special.index)
        return IdentityDecision::kDifferent;
    if (!level.volume_read || !special.volume_read)
        return IdentityDecision::kUnknown;
    return level.volume_serial == special.volume_serial ? IdentityDecision::kSame : IdentityDecision::kDifferent;
}

bool same_long_path(const wchar_t* path, const wchar_t* special_path)
{
    const wchar_t kVerbatim[] = L"\\\\?\\";
    wchar_t* level = long_path(path);
    wchar_t* special = long_path(special_path);
    bool same = true;
    if (level && special) {
        const wchar_t* left = wcsncmp(level, kVerbatim, 4) == 0 ? level + 4 : level;
        const wchar_t* right = wcsncmp(special, kVerbatim, 4) == 0 ? special + 4 : special;
        same = wcslen(left) == wcslen(right) && same_path_text(left, right, wcslen(left));
    }
    free_string(&special);
    free_string(&level);
    return same;
}

Level classify_folder(const wchar_t* path)
{
    if (!path || path[0] == L'\0')
        return Level::kAbsent;
    const SpecialFolders& special = special_folders();
    FolderIdentity level = {};
    const HANDLE handle = open_for_attributes(path);
    if (handle == INVALID_HANDLE_VALUE) {
        level.open_error = GetLastError();
        return settle(decide_identity(level, level), path, nullptr);
    }
    level.index_read = read_file_index(special.query_index, handle, &level.index);
    Level found = level.index_read ? Level::kOrdinary : settle(decide_identity(level, level), path, nullptr);
    for (int at = 0; found == Level::kOrdinary && at < special.count; ++at) {
        FolderIdentity other = special.identities[at];
        if (other.index_read && level.index == other.index && !unusable_index(level.index)) {
            if (!level.volume_read)
                read_volume(handle, &level);
            read_volume_of(special.paths[at], &other);
        }
        found = settle(decide_identity(level, other), path, special.paths[at]);
    }
    CloseHandle(handle);
    return found;
}

Level first_unusual_level(const wchar_t* path, size_t programs_length, bool last_is_folder)
{
    wchar_t* level = concat_strings(1, path);
    const size_t length = wcslen(level);
    Level found = Level::kOrdinary;
    for (size_t at = programs_length + 1; found == Level::kOrdinary && at <= length; ++at) {
        const wchar_t ending = level[at];
        const bool component_ends = ending == L'\\' || ending == L'/' || (ending == L'\0' && last_is_folder);
        if (!component_ends || level[at - 1] == L'\\' || level[at - 1] == L'/')
            continue;
        level[at] = L'\0';
        found = classify_folder(level);
        level[at] = ending;
    }
    free_string(&level);
    return found;
}
