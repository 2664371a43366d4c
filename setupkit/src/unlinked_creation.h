// Creating a file that a program running elevated must not be led elsewhere to create.
#pragma once

#include <windows.h>

#include <stddef.h>

// Creates the missing file `path` empty and opens it for reading (read sharing), unless a component
// of the path from `checked_from` (a character index just past a backslash) on is a reparse point (a
// junction, a symbolic link, a mount point) or cannot be inspected. Each folder stays open, sharing
// no deletion, from its check until the file exists, so that no link can take its place meanwhile;
// the file is created new, never through a link. INVALID_HANDLE_VALUE when it creates nothing.
HANDLE create_file_through_no_link(const wchar_t* path, size_t checked_from);
