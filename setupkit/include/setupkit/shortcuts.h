// Start-menu shortcuts (.lnk through the shell's ShellLink object) and start-menu folders.
// The first shell operation on a thread initialises COM there as a single-threaded apartment, for good.
//
// Start-menu paths are composed as: Programs folder of the current scope + folder + "\" (unless the
// folder ends with one) + name, then " " + suffix when the suffix is not "", then ".lnk"
// (compose_start_menu_link_path); callers pass folder as "\Name\".
// A revision suffix that cannot be part of one file name (a "\" or "/", one of < > : " | ? *, or a
// control character below 32; "CON" or "x." can, the name being "Tool CON.lnk"), a folder or
// name holding a ".." component (separated by "\" or "/") or a ":", a folder argument or relative
// path that is not empty and does not begin with "\", or one that leads into an existing folder the
// shell names as special (Startup, Administrative Tools, Programs, Start Menu, of either scope; by
// any spelling that opens it, short names included; told by file ID and volume, or by long path
// without letter case where the file system gives no usable ID) makes a start-menu operation do
// nothing: nothing is written, deleted or removed outside the suite's own folders. So does a path
// that Windows could not make or take apart: MAX_PATH characters or more (as composed, separators
// as written), or a level below the Programs folder named like a device (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, CONIN$, CONOUT$, with any extension or trailing spaces); creation and removal
// refuse alike, so nothing is made that cannot be removed. So does a Programs folder that the
// shell cannot supply. The Programs folder itself is never removed (a name or relative path of only
// separators, dots and spaces). A name refused by these rules, the special folders' aside, leaves
// ERROR_INVALID_NAME as the thread's last error.
#pragma once

#include "setupkit/link_path.h"
#include "setupkit/scope.h"
#include "setupkit/start_menu_path.h"

// The refusal that only the file system tells: a text when a level of `path` below `programs` (the
// last one too when `last_is_folder`) opens a special folder, else null.
const wchar_t* special_folder_refusal(const wchar_t* programs, const wchar_t* path, bool last_is_folder);

// Writes a shortcut file at link_path, creating its folder and missing parents first (they stay,
// also when the shortcut cannot be written). 0, also when a property or the save failed; the
// failure HRESULT when the ShellLink object offers no IPersistFile.
int create_shortcut_file(const wchar_t* link_path, const wchar_t* target, const wchar_t* arguments,
                         const wchar_t* working_directory, const wchar_t* description, const wchar_t* icon_path,
                         int icon_index, int show_command);

// Writes the start-menu shortcut folder + "\" + name [+ " " + suffix] + ".lnk" in the current scope's
// Programs folder, targeting "directory + file_name" in double quotes (directory ends with a
// backslash), icon index 0. Always 0.
int create_start_menu_shortcut(const wchar_t* directory, const wchar_t* file_name, const wchar_t* arguments,
                               const wchar_t* icon_path, const wchar_t* working_directory, const wchar_t* folder,
                               const wchar_t* name, const wchar_t* description, int show_command,
                               const wchar_t* suffix);

// create_start_menu_shortcut with the suffix "18.1". Always 0.
int create_start_menu_shortcut_fixed(const wchar_t* directory, const wchar_t* file_name, const wchar_t* arguments,
                                     const wchar_t* icon_path, const wchar_t* working_directory,
                                     const wchar_t* folder, const wchar_t* name, const wchar_t* description,
                                     int show_command);

// create_start_menu_shortcut with the revision suffix of the global release-information file. Always 0.
int create_start_menu_shortcut_global(const wchar_t* directory, const wchar_t* file_name, const wchar_t* arguments,
                                      const wchar_t* icon_path, const wchar_t* working_directory,
                                      const wchar_t* folder, const wchar_t* name, const wchar_t* description,
                                      int show_command);

// create_start_menu_shortcut with the revision suffix of the relinfo.xml beside the program. Always 0.
int create_start_menu_shortcut_local(const wchar_t* directory, const wchar_t* file_name, const wchar_t* arguments,
                                     const wchar_t* icon_path, const wchar_t* working_directory,
                                     const wchar_t* folder, const wchar_t* name, const wchar_t* description,
                                     int show_command);

// Deletes the file. 0 when it was deleted, E_FAIL (0x80004005) otherwise, a missing file included.
int delete_shortcut_file(const wchar_t* path);

// Deletes the start-menu shortcut that create_start_menu_shortcut writes for the same arguments. Always 0.
int delete_start_menu_shortcut(const wchar_t* folder, const wchar_t* name, const wchar_t* suffix);

// delete_start_menu_shortcut with the global release-information file's revision suffix. Always 0.
int delete_start_menu_shortcut_global(const wchar_t* folder, const wchar_t* name);

// delete_start_menu_shortcut with the suffix "18.1". Always 0.
int delete_start_menu_shortcut_fixed(const wchar_t* folder, const wchar_t* name);

// delete_start_menu_shortcut with no suffix: folder + "\" + name + ".lnk". Always 0.
int delete_start_menu_shortcut_plain(const wchar_t* folder, const wchar_t* name);

// delete_start_menu_shortcut with the revision suffix of the relinfo.xml beside the program. Always 0.
int delete_start_menu_shortcut_local(const wchar_t* folder, const wchar_t* name);

// Removes the directory when the shell lists no visible non-folder item in it (sub-folders and
// hidden files are not counted, and then the removal fails silently).
// 0 when removal was attempted; E_FAIL for a missing path (COM is not touched then) or one that the
// shell cannot open as a folder; E_ACCESSDENIED, with nothing touched, for a folder that the shell
// names as a special folder (by any spelling) or that cannot be identified; 80 (ERROR_FILE_EXISTS)
// when an item is listed; the failure HRESULT when the desktop folder object cannot be created or
// the folder cannot be enumerated.
int remove_folder_if_empty(const wchar_t* path);

// remove_folder_if_empty on Programs folder + "\" + name, doubled separators collapsed; refused when
// that does not fit 520 characters, or is refused by the rules above (MAX_PATH, device names).
// A nested name ("Vendor\Suite") is removed level by level, innermost first, each level only once the
// one inside it existed and is gone; the Programs folder itself is never removed. Always 0.
int remove_programs_subfolder(const wchar_t* name);

// remove_folder_if_empty on Programs folder + relative_path, which must begin with "\". Always 0.
int remove_start_menu_folder(const wchar_t* relative_path);
