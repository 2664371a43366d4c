// Paths, the install root, directories and whole-file reads.
// Only the backslash separates path components; a forward slash is an ordinary character.
#pragma once

#include <stddef.h>

// Cuts the last component in place, keeping the backslash before it:
// C:\A\B\prog.exe -> C:\A\B\ ; C:\A\B\ -> C:\A\ ; C:\ stays (true); prog.exe stays (false).
// Returns true when the path held a backslash.
bool strip_last_component(wchar_t* path);

// Copies `source` into `destination` (at least wcslen(source) + 1 characters) without its last
// five components and without a trailing backslash; a drive root such as C:\ keeps its backslash.
void strip_path_levels(const wchar_t* source, wchar_t* destination);

// The install root: the running program's path less five components (C:\S\R\a\b\c\d\p.exe -> C:\S\R).
// Two-call protocol: with a capacity below the module path's length + 1 (always so for a null
// buffer, whatever its capacity) nothing is written and that size is returned; otherwise fills the
// buffer and returns 0.
int get_install_root(wchar_t* buffer, int capacity);

// The running program's full file name. Two-call protocol as get_install_root.
int get_module_path(wchar_t* buffer, int capacity);

// True when the path names an existing file or directory.
bool path_exists(const wchar_t* path);

// True when `path` is `root` or lies below it: letter case aside, as the file system compares names,
// and on a component boundary (D:\S\v182 covers D:\S\v182\bin, not D:\S\v1820). False for an empty root.
bool path_lies_within(const wchar_t* path, const wchar_t* root);

// Creates one directory level unless the path exists. Nonzero when it exists afterwards
// (existed or was created), 0 when the creation failed (for instance a missing parent).
int ensure_directory(const wchar_t* path);

// Creates the directory and every missing parent, outermost first (C:\ , C:\A\ , C:\A\B\ ...).
// Failures, existing directories included, are passed over. Always 0.
int create_directory_tree(const wchar_t* path);

// Creates one directory level that grants Everyone nearly full access (inherited by sub-directories,
// not files). The parent must exist. Always 0.
int create_shared_directory(const wchar_t* path);

// What read_whole_file does with a missing file: the library's readers create it (empty, and it
// stays), but never where a link leads; a checker that must change nothing leaves it missing, and
// lets others write meanwhile.
enum class MissingFile { kCreate, kLeave };

// Reads the whole file into a new byte array handed over through *content (owned by the caller,
// release with delete[]). A missing file in a writable directory is created empty, and stays, unless
// `missing` is MissingFile::kLeave or a reparse point (junction, symbolic link, mount point) lies on
// its path: its own name, its folder, or any folder after the first `trusted_length` characters
// (the folder through which links may lead, such as the install root; by default none beyond the
// file's folder). Then it is created nowhere and reads as missing. An existing file is read
// through links as before. When bytes_read is not null it receives the number of bytes read;
// one zero byte always follows them, outside the content. Nonzero when the whole file was read; 0 when
// a read failed (the bytes read so far are handed over), and 0 with *content left alone when the file
// cannot be opened or measured, is 2 GiB or larger, or its bytes cannot be allocated.
int read_whole_file(const wchar_t* path, char** content, unsigned long* bytes_read = nullptr,
                    MissingFile missing = MissingFile::kCreate, size_t trusted_length = static_cast<size_t>(-1));
