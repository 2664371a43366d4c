// Writing and reading start-menu shortcuts with the plain shell API, independently of the library.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// What a .lnk file holds, as IShellLinkW reports it after IPersistFile::Load.
struct ShortcutProperties {
    // The first failure on the way: CoCreateInstance, QueryInterface, Load or a property getter,
    // E_UNEXPECTED for a getter that reported success without writing its output.
    HRESULT status = E_FAIL;
    const char* failed_call = ""; // the call that failed
    std::wstring target;          // raw path, nothing expanded
    std::wstring arguments;
    std::wstring working_directory;
    std::wstring description;
    std::wstring icon_path;
    int icon_index = -1;
    int show_command = -1;
    // The ShowCommand field of the file's header (offset 0x3C), read from the bytes: Wine's Load
    // ignores it and reports 1 whatever was saved.
    int stored_show_command = -1;

    // True when the shortcut loaded and every property was read.
    bool ok() const { return SUCCEEDED(status); }
};

// Loads the shortcut (initialising COM on the calling thread if needed) and reads its properties;
// check ok() before trusting them.
ShortcutProperties read_shortcut(const std::wstring& path);

// The shortcut's properties in one line to compare in a test, "target | arguments | working directory
// | description | icon path,index | show command/stored show command", or why it could not be read.
// The target without the quotes around it: Wine's SetPath drops them, Windows may keep them.
std::wstring shortcut_summary(const std::wstring& path);

// Writes a shortcut to `target` (missing parent folders made) with IShellLinkW::SetPath and
// IPersistFile::Save, as another product's installer would; true when the file exists afterwards.
bool write_shortcut(const std::wstring& path, const std::wstring& target);

// The all-users and the current user's start-menu Programs folders (CSIDL_COMMON_PROGRAMS,
// CSIDL_PROGRAMS), no trailing backslash; "" when the shell has none.
std::wstring all_users_programs_folder();
std::wstring user_programs_folder();

// Puts the real shell-folder settings back after redirections, also those that a run which died
// midway left in place.
void restore_shell_folders();

// While alive, the shell-folder setting `name` ("Programs", "Startup" ...) of `root`
// (HKEY_CURRENT_USER or, for the all-users folders, HKEY_LOCAL_MACHINE) is `folder`, for this process
// and every program it starts; the real setting waits in a key of its own meanwhile.
class RedirectedShellFolder {
public:
    RedirectedShellFolder(HKEY root, const wchar_t* name, const std::wstring& folder);
    ~RedirectedShellFolder() { restore_shell_folders(); }
    RedirectedShellFolder(const RedirectedShellFolder&) = delete;
    RedirectedShellFolder& operator=(const RedirectedShellFolder&) = delete;
};

// Full paths of the .lnk files under the folder, sub-folders included, in a stable order.
std::vector<std::wstring> find_shortcuts(const std::wstring& folder);

} // namespace testsupport
