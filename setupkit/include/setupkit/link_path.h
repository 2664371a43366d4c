// The one rule that names a start-menu shortcut's file, apart from the operations: the step log and
// setupcheck name the files with it too, without linking the shell.
#pragma once

// A start-menu shortcut's file name: name, then " " + suffix when the suffix is not "", then ".lnk".
// New string (free_string).
wchar_t* compose_shortcut_file_name(const wchar_t* name, const wchar_t* suffix);

// programs + folder + "\" + the shortcut's file name, the "\" left out when the folder ends with
// one: the one rule that names a start-menu shortcut, for the start-menu operations and the programs'
// reports alike. No guard of its own. New string (free_string).
wchar_t* compose_start_menu_link_path(const wchar_t* programs, const wchar_t* folder, const wchar_t* name,
                                      const wchar_t* suffix);
