// What a folder argument, shortcut name, suffix or relative path may hold before it is joined to
// the Programs folder, and what a joined start-menu path may be: the text guards of the start-menu
// operations, the same for creation and removal so that whatever is made can be taken apart again.
#pragma once

#include <cstddef>

// True when the piece could lead a path out of the Programs folder: a ":" (drive or stream) or a
// ".." component. Components such as ".. " or "..." count too: Win32 path normalisation trims
// trailing dots and spaces, and no start-menu name needs them.
bool leaves_programs_folder(const wchar_t* piece);

// True when the piece names nothing but the folder it is appended to (only separators, dots, spaces).
bool names_no_subfolder(const wchar_t* piece);

// True when a non-empty folder argument or relative path does not begin with a backslash: joined to
// the Programs folder it would name a folder beside it ("Evil\" gives "...\ProgramsEvil\").
bool starts_beside_programs_folder(const wchar_t* piece);

// True when Windows could not make or reach the path below the Programs folder (its first
// `programs_length` characters): MAX_PATH characters or more with its separators as written, or a
// component after the Programs folder that is a reserved device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, CONIN$, CONOUT$; with any extension or trailing spaces: "nul.txt", "COM1 ").
bool beyond_start_menu_reach(const wchar_t* path, size_t programs_length);
