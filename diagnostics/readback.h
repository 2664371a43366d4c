// The registration read back with the plain registry and shell interfaces, independently of the
// library that wrote it, and plain text for reports: what the programs' step log verifies and what
// setupcheck reports. Fixed buffers, no C++ containers: this code ships inside the programs.
#pragma once

#include <windows.h>
#include <shlobj.h>

// The keys that hold persistent environment variables, below HKLM (machine) and HKCU (user).
extern const wchar_t kMachineEnvironmentKey[];
extern const wchar_t kUserEnvironmentKey[];
// "HKLM\..." or "HKCU\Environment", for reports.
const wchar_t* environment_key_name(bool machine);

constexpr DWORD kValueChars = 2048;

// One value of an environment key, read with RegQueryValueExW.
struct EnvironmentValue {
    LONG error; // ERROR_SUCCESS when read; ERROR_FILE_NOT_FOUND when not set
    DWORD type;
    DWORD bytes;
    wchar_t text[kValueChars]; // string data up to its first null, cut to fit; "" otherwise
};

// Reads `name` from the machine or the user environment key; sets every field.
void read_environment_value(bool machine, const wchar_t* name, EnvironmentValue* value);

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

// The all-users (machine) or the current user's Programs folder, no trailing backslash; false and
// "" when the shell has none. `path` holds MAX_PATH + 1 characters.
bool programs_folder(bool machine, wchar_t* path);

// How many entries the folder holds ("." and ".." aside); -1 when it cannot be listed (a missing folder).
int folder_item_count(const wchar_t* folder);

// The system's text for an error code or HRESULT, without the trailing line break.
void error_text(DWORD code, wchar_t* buffer, DWORD capacity);

// A growing line of text, written out as UTF-8.
class Text {
public:
    Text() = default;
    ~Text();
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    Text& add(const wchar_t* text);
    Text& add(const wchar_t* text, size_t length);
    Text& add_number(long number);
    Text& add_hex(unsigned long number); // 0x0000ABCD
    // A JSON string literal, quotes included.
    Text& add_json(const wchar_t* text);
    // Spaces up to `column` characters after the text's last line feed (at least one).
    Text& pad_to(size_t column);
    const wchar_t* c_str() const { return data_ ? data_ : L""; }
    size_t length() const { return length_; }
    void clear();
    // Writes the text as UTF-8 to the handle; false when not all of it was written.
    bool write_utf8(HANDLE file) const;

private:
    wchar_t* data_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
};
