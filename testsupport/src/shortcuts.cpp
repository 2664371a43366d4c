#include "testsupport/shortcuts.h"

#include "testsupport/files.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

namespace testsupport {

namespace {

constexpr size_t kShowCommandOffset = 0x3C;

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
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t text[INFOTIPSIZE + 1];

    properties.load_status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                              reinterpret_cast<void**>(&link));
    if (SUCCEEDED(properties.load_status))
        properties.load_status = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(properties.load_status))
        properties.load_status = file->Load(path.c_str(), STGM_READ);
    if (SUCCEEDED(properties.load_status)) {
        text[0] = L'\0';
        link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        properties.target = text;
        text[0] = L'\0';
        link->GetArguments(text, INFOTIPSIZE);
        properties.arguments = text;
        text[0] = L'\0';
        link->GetWorkingDirectory(text, MAX_PATH);
        properties.working_directory = text;
        text[0] = L'\0';
        link->GetDescription(text, INFOTIPSIZE);
        properties.description = text;
        text[0] = L'\0';
        link->GetIconLocation(text, MAX_PATH, &properties.icon_index);
        properties.icon_path = text;
        link->GetShowCmd(&properties.show_command);
        const std::string bytes = read_bytes(path);
        if (bytes.size() >= kShowCommandOffset + sizeof(DWORD)) {
            DWORD stored = 0;
            memcpy(&stored, bytes.data() + kShowCommandOffset, sizeof(stored));
            properties.stored_show_command = static_cast<int>(stored);
        }
    }

    if (file)
        file->Release();
    if (link)
        link->Release();
    // Balance only our own initialisation; an apartment someone else set up stays as it was.
    if (SUCCEEDED(com))
        CoUninitialize();
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
