// What a folder argument, shortcut name, suffix or relative path may hold before it is joined to
// the Programs folder: text guards of the start-menu operations, the same for creation and removal
// so that whatever is made can be taken apart again (start_menu_shortcut_refusal and
// start_menu_folder_refusal in setupkit/shortcuts.h join them with the rules on the joined path).
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
