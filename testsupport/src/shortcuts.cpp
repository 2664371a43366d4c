#include "testsupport/shortcuts.h"

#include "testsupport/files.h"

#include "readback.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

namespace testsupport {

namespace {

std::wstring special_folder(int csidl)
{
    wchar_t path[MAX_PATH + 1] = L"";
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE))
        path[0] = L'\0';
    return path;
}

void collect_shortcuts(const std::wstring& folder, std::vector<std::wstring>& found)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            collect_shortcuts(path, found);
        else if (name.size() >= 4 && _wcsicmp(name.c_str() + name.size() - 4, L".lnk") == 0)
            found.push_back(path);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

} // namespace

ShortcutProperties read_shortcut(const std::wstring& path)
{
    ShortcutProperties properties;
    ShortcutInfo* info = new ShortcutInfo;
    read_shortcut_info(path.c_str(), info);
    properties.load_status = info->status;
    if (properties.loaded()) {
        properties.target = info->target;
        properties.arguments = info->arguments;
        properties.working_directory = info->working_directory;
        properties.description = info->description;
        properties.icon_path = info->icon_path;
        properties.icon_index = info->icon_index;
        properties.show_command = info->show_command;
        properties.stored_show_command = info->stored_show_command;
    }
    delete info;
    return properties;
}

std::wstring all_users_programs_folder()
{
    return special_folder(CSIDL_COMMON_PROGRAMS);
}

std::wstring user_programs_folder()
{
    return special_folder(CSIDL_PROGRAMS);
}

std::vector<std::wstring> find_shortcuts(const std::wstring& folder)
{
    std::vector<std::wstring> found;
    collect_shortcuts(folder, found);
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace testsupport
