// Real files for tests: private temporary trees, raw bytes in and out.
#pragma once

#include "testsupport/places.h"

#include <string>
#include <vector>

namespace testsupport {

// A new empty directory under %TEMP%, removed with everything in it on destruction. Throws
// std::runtime_error, which fails the running test, when it cannot be created.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    // path() + "\" + relative
    std::wstring operator/(const std::wstring& relative) const;

private:
    std::wstring path_;
};

// Creates the directory and its missing parents; true when it exists afterwards.
bool make_directories(const std::wstring& path);

// Writes exactly these bytes, creating missing parent directories.
void write_bytes(const std::wstring& path, const std::string& bytes);

// Writes `head`, then extends the file to `size` bytes of zeros kept sparse (no disk space for the
// rest, also where the file system does not honour the request: Wine's files are sparse anyway).
// True when the file has that size.
bool write_sparse_file(const std::wstring& path, const std::string& head, unsigned long long size);

// The file's bytes; empty when it cannot be read.
std::string read_bytes(const std::wstring& path);

bool file_exists(const std::wstring& path);
bool directory_exists(const std::wstring& path);

// Every file and folder below `folder`, as paths relative to it ("A", "A\\b.txt"), sorted, so that
// a folder comes before what it holds; empty when the folder cannot be listed.
std::vector<std::wstring> list_tree(const std::wstring& folder);

// The path as GetShortPathNameW spells it (8.3 names where the file system made them); "" on failure.
std::wstring short_path(const std::wstring& path);

// Removes a file or a directory tree, names like devices and paths past MAX_PATH included; missing is fine.
void remove_tree(const std::wstring& path);

// While alive, a symbolic link at `link` to `target` (a folder or a file, which may be missing); on
// destruction the link goes, never what it leads to. Wine 8's CreateSymbolicLinkW reports success and
// makes nothing, and Wine makes no junction (FSCTL_SET_REPARSE_POINT fails, ERROR_NOT_SUPPORTED): there
// it is a Unix symbolic link made by /bin/ln, which Wine reports as a reparse point by name when it
// leads to a folder, and as the file it leads to otherwise.
class SymbolicLink {
public:
    SymbolicLink(const std::wstring& link, const std::wstring& target, bool folder);
    ~SymbolicLink();
    SymbolicLink(const SymbolicLink&) = delete;
    SymbolicLink& operator=(const SymbolicLink&) = delete;
    bool made() const { return made_; }

private:
    bool run_unix(const std::wstring& program, const std::wstring& arguments, bool link_wanted);

    std::wstring link_;
    std::wstring target_;
    bool folder_;
    std::wstring unix_link_; // set when /bin/ln made it
    bool made_ = false;
};

// Copies a file, creating missing parent directories; true on success.
bool copy_file(const std::wstring& from, const std::wstring& to);

// UTF-8 from UTF-16, for readable assertion messages; UTF-8 as it is.
std::string narrow(const std::wstring& text);
inline std::string narrow(const std::string& utf8) { return utf8; }

// Each line or path (UTF-8 or UTF-16) on a line of its own, indented, for assertion messages; "" for none.
template <class Text>
std::string listed(const std::vector<Text>& lines)
{
    std::string text;
    for (const Text& line : lines)
        text += "\n  " + narrow(line);
    return text;
}

} // namespace testsupport
