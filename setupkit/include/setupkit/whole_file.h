// Reading a whole file into memory, without creating a missing one where a link leads.
#pragma once

#include <stddef.h>

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
