// The guard that keeps the start-menu operations out of the shell's special folders: what a path
// opens is told by its file system identity, not by how the path is spelt.
#pragma once

#include <windows.h>

#include <cstddef>

// What one path opens, as far as it could be read. `open_error` is ERROR_SUCCESS when it was opened.
struct FolderIdentity {
    DWORD open_error;
    bool index_read;
    ULONGLONG index;
    bool volume_read;
    DWORD volume_serial;
};

// kAbsent: nothing is there (or the name is no valid name), so nothing can be written or removed
// through it. kRefused: something is there that cannot be opened (access denied among others).
// kSame / kDifferent: the identities tell. kUnknown: they cannot tell; compare the folders' names.
enum class IdentityDecision { kAbsent, kRefused, kSame, kDifferent, kUnknown };

// Whether the level is the special folder, from the two identities alone.
IdentityDecision decide_identity(const FolderIdentity& level, const FolderIdentity& special);

// Where file IDs cannot tell two folders apart (IdentityDecision::kUnknown): whether both paths name
// one folder by their long paths, letter case aside (as the file system compares names), short
// names resolved and "\\?\" set aside. A path that cannot be worked out might be the special
// folder's: true.
bool same_long_path(const wchar_t* path, const wchar_t* special_path);

enum class Level { kAbsent, kOrdinary, kSpecial };

// Whether the path opens one of the special folders, by whatever spelling. What is there but
// cannot be identified is refused like a special folder.
Level classify_folder(const wchar_t* path);

// kSpecial when a folder of `path` below its first `programs_length` characters is a special
// folder: each level is tested, the last component too when `last_is_folder`. A level that does not
// exist ends the test with kAbsent: it cannot be a special folder, nor can anything below it.
// kOrdinary when every level tested exists and is none.
Level first_unusual_level(const wchar_t* path, size_t programs_length, bool last_is_folder);
