// What a folder argument, shortcut name, suffix or relative path may hold before it is joined to the
// Programs folder: the text rules of the start-menu operations, the same for creation and removal so
// that whatever is made can be taken apart again, and the same for the programs' reports.
#pragma once

// Why the start-menu operations refuse the shortcut that compose_start_menu_link_path names, or the
// folder programs + relative_path that remove_start_menu_folder and remove_programs_subfolder (with
// "\" + name + "\") take apart: a text for a report, or null. `programs` is the scope's Programs
// folder. The operations ask it before any folder is made or any file deleted; the special folders,
// which only the file system tells apart, are refused afterwards (special_folder_refusal) and not
// named here.
const wchar_t* start_menu_shortcut_refusal(const wchar_t* programs, const wchar_t* folder, const wchar_t* name,
                                           const wchar_t* suffix);
const wchar_t* start_menu_folder_refusal(const wchar_t* programs, const wchar_t* relative_path);
