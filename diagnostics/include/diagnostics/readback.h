// The registration read back with the plain registry and shell interfaces, independently of the
// library that wrote it: what the programs' step log verifies and what setupcheck reports. Fixed
// buffers, no C++ containers: this code ships inside the programs.
#pragma once

#include "diagnostics/text.h"

#include "setupkit/programs_folder.h"

#include <windows.h>
#include <shlobj.h>

// The scope's environment key for reports: "HKLM\System\...\Environment" or "HKCU\Environment".
Text& add_environment_key_name(Text& out, Scope scope);

constexpr DWORD kValueChars = 2048;

// One value of an environment key, read with RegQueryValueExW.
struct EnvironmentValue {
    LONG error; // ERROR_SUCCESS when read; ERROR_FILE_NOT_FOUND when not set
    DWORD type;
    DWORD bytes;
    wchar_t text[kValueChars]; // string data up to its first null, cut to fit; "" otherwise
};

// Reads `name` from the scope's environment key; sets every field.
void read_environment_value(Scope scope, const wchar_t* name, EnvironmentValue* value);

// A start-menu shortcut's file name as the library's operations name it: name [+ " " + suffix] + ".lnk".
Text& add_shortcut_file_name(Text& out, const wchar_t* name, const wchar_t* suffix);

// "REG_SZ", "REG_EXPAND_SZ", ... or "type N" in `buffer` (at least 16 characters).
const wchar_t* registry_type_name(DWORD type, wchar_t* buffer);

// A .lnk file as IShellLinkW reports it after IPersistFile::Load.
struct ShortcutInfo {
    HRESULT status; // of CoCreateInstance, QueryInterface or Load, whichever failed
    wchar_t target[MAX_PATH + 1];
    wchar_t arguments[INFOTIPSIZE + 1];
    wchar_t working_directory[MAX_PATH + 1];
    wchar_t description[INFOTIPSIZE + 1];
    wchar_t icon_path[MAX_PATH + 1];
    int icon_index;
    int show_command;
    // The ShowCommand field of the file's header, read from the bytes: Wine's Load ignores it and
    // reports 1 whatever was saved. -1 when the file is too short.
    int stored_show_command;
};

// Loads the shortcut (initialising COM on the thread for the call when nobody has) and reads it;
// sets every field ("" and 0 for what cannot be read).
void read_shortcut_info(const wchar_t* path, ShortcutInfo* info);

// True when `target` names `wanted`, with or without the double quotes Windows may keep around it.
bool same_target(const wchar_t* target, const wchar_t* wanted);

// How many entries the folder holds ("." and ".." aside); -1 when it cannot be listed (a missing folder).
int folder_item_count(const wchar_t* folder);

// The system's text for an error code or HRESULT, without the trailing line break.
void error_text(DWORD code, wchar_t* buffer, DWORD capacity);
