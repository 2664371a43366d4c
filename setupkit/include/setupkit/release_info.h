// The release's own names (tag 182, folder v182) and what its release-information files say.
#pragma once

// "182". Returns 0 when the buffer was filled (capacity >= 4), else 4; the buffer is never pre-set.
int get_release_tag(wchar_t* buffer, int capacity);

// "v182". Returns 0 when the buffer was filled (capacity >= 5), else 5; the buffer is never pre-set.
int get_release_folder_name(wchar_t* buffer, int capacity);

// The release-information files (relinfo.xml): byte searches, never parsed as XML.
// A key's value is the UTF-8 text between the first two double quotes after the key's first
// occurrence (which may lie inside a longer word), converted to UTF-16.
//
// Two-call protocol: called with null, each reader returns the size n + 1 of a value of n bytes
// (1 when there is no value); the caller allocates that many characters and calls again with
// the address of its buffer pointer, which receives the value (or "") and the value's size comes
// back. The file is read anew on each call. A missing file whose folder exists is left behind empty.
//
// A file that changes between the two calls never makes a fill call write more characters than
// the last size query of the same reader on the same thread returned: a value that no longer fits
// that size is handed over as "" (and its larger size comes back), never cut. A fill call without
// an earlier size query on its thread writes only "". A file that cannot be read into memory reads
// as one without the keys.

// The global release-information file's place below the install root, with a leading backslash:
// the library's readers, the programs' reports and setupcheck all find it here.
inline constexpr wchar_t kReleaseFileBelowRoot[] = L"\\commonfiles\\globalsettings\\relinfo.xml";

// The value of `key` in `length` bytes of a release-information file, by the rule above, as a new
// string (free_string); "" without one. For a reader that must leave a missing file missing.
wchar_t* find_release_value(const char* content, unsigned long length, const char* key);

// "startMenuShortcutAppendRevision" from relinfo.xml beside the running program.
int read_local_revision_suffix(wchar_t** buffer);

// "startMenuFolderName" from <install root>\commonfiles\globalsettings\relinfo.xml.
int read_start_menu_folder_name(wchar_t** buffer);

// "startMenuShortcutAppendRevision" from <install root>\commonfiles\globalsettings\relinfo.xml.
int read_global_revision_suffix(wchar_t** buffer);
