#include "testsupport/shortcuts.h"

#include "testsupport/files.h"
#include "testsupport/registry.h"

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstring>
#include <cwchar>

namespace testsupport {

namespace {

constexpr size_t kShowCommandOffset = 0x3C;
constexpr int kTextChars = INFOTIPSIZE + 1;
// What the getters' outputs hold before each call, so that one which claims success without
// writing shows: a noncharacter no property text begins with, and a number no property takes.
constexpr wchar_t kUnwritten = 0xFFFF;
constexpr int kUnwrittenNumber = 0x5EB7141;

wchar_t* fill(wchar_t* text)
{
    wmemset(text, kUnwritten, kTextChars - 1);
    text[kTextChars - 1] = L'\0';
    return text;
}

// Keeps the first failed read: the getter's own failure, or E_UNEXPECTED when it reported
// success but left its output as it was.
void note(ShortcutProperties& properties, const char* call, HRESULT result, bool written)
{
    if (FAILED(properties.status) || (SUCCEEDED(result) && written))
        return;
    properties.status = FAILED(result) ? result : E_UNEXPECTED;
    properties.failed_call = call;
}

void keep(ShortcutProperties& properties, const char* call, HRESULT result, const wchar_t* text,
          std::wstring& property)
{
    note(properties, call, result, text[0] != kUnwritten);
    property = text[0] != kUnwritten ? text : L"";
}

std::wstring special_folder(int csidl)
{
    wchar_t path[MAX_PATH + 1] = L"";
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE))
        path[0] = L'\0';
    return path;
}

// COM on the calling thread for as long as the object lives; only its own initialisation is
// balanced, so an apartment someone else set up stays as it was.
struct Apartment {
    ~Apartment()
    {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
};

// A shell link object and its file interface, released before the apartment goes.
struct ShellLink {
    ShellLink()
    {
        created = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(link.GetAddressOf()));
        queried = SUCCEEDED(created) ? link.As(&file) : created;
    }
    Apartment apartment;
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    Microsoft::WRL::ComPtr<IPersistFile> file;
    HRESULT created = E_FAIL;
    HRESULT queried = E_FAIL;
};

const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kSavedUserShellFolders[] = L"Software\\setupkit tests saved shell folders";

} // namespace

void restore_shell_folders()
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY saved = nullptr;
        HKEY settings = nullptr;
        if (RegOpenKeyExW(root, kSavedUserShellFolders, 0, KEY_READ, &saved) == ERROR_SUCCESS &&
            RegOpenKeyExW(root, kUserShellFolders, 0, KEY_ALL_ACCESS, &settings) == ERROR_SUCCESS &&
            RegCopyTreeW(saved, nullptr, settings) == ERROR_SUCCESS)
            RegDeleteTreeW(root, kSavedUserShellFolders);
        if (settings)
            RegCloseKey(settings);
        if (saved)
            RegCloseKey(saved);
    }
}

RedirectedShellFolder::RedirectedShellFolder(HKEY root, const wchar_t* name, const std::wstring& folder)
{
    restore_shell_folders();
    const RegistryValue value = read_registry_value(root, kUserShellFolders, name);
    if (value.exists && RegSetKeyValueW(root, kSavedUserShellFolders, name, value.type, value.data.data(),
                                        static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS)
        RegSetKeyValueW(root, kUserShellFolders, name, REG_EXPAND_SZ, folder.c_str(),
                        static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

ShortcutProperties read_shortcut(const std::wstring& path)
{
    ShortcutProperties properties;
    const ShellLink shell;
    IShellLinkW* const link = shell.link.Get();
    wchar_t text[kTextChars];

    properties.status = S_OK;
    note(properties, "CoCreateInstance", shell.created, true);
    note(properties, "QueryInterface", shell.queried, true);
    if (properties.ok())
        note(properties, "Load", shell.file->Load(path.c_str(), STGM_READ), true);
    if (properties.ok()) {
        keep(properties, "GetPath", link->GetPath(fill(text), MAX_PATH, nullptr, SLGP_RAWPATH), text,
             properties.target);
        keep(properties, "GetArguments", link->GetArguments(fill(text), INFOTIPSIZE), text, properties.arguments);
        keep(properties, "GetWorkingDirectory", link->GetWorkingDirectory(fill(text), MAX_PATH), text,
             properties.working_directory);
        keep(properties, "GetDescription", link->GetDescription(fill(text), INFOTIPSIZE), text,
             properties.description);
        properties.icon_index = kUnwrittenNumber;
        const HRESULT icon = link->GetIconLocation(fill(text), MAX_PATH, &properties.icon_index);
        keep(properties, "GetIconLocation", icon, text, properties.icon_path);
        note(properties, "GetIconLocation (index)", icon, properties.icon_index != kUnwrittenNumber);
        properties.show_command = kUnwrittenNumber;
        const HRESULT show = link->GetShowCmd(&properties.show_command);
        note(properties, "GetShowCmd", show, properties.show_command != kUnwrittenNumber);
        const std::string bytes = read_bytes(path);
        if (bytes.size() >= kShowCommandOffset + sizeof(DWORD)) {
            DWORD stored = 0;
            memcpy(&stored, bytes.data() + kShowCommandOffset, sizeof(stored));
            properties.stored_show_command = static_cast<int>(stored);
        }
    }
    return properties;
}

std::wstring shortcut_summary(const std::wstring& path)
{
    const ShortcutProperties shortcut = read_shortcut(path);
    if (!shortcut.ok()) {
        wchar_t status[16];
        swprintf(status, 16, L"0x%08lX", static_cast<unsigned long>(shortcut.status));
        return L"unreadable: " + std::wstring(status) + L" from " +
               std::wstring(shortcut.failed_call, shortcut.failed_call + strlen(shortcut.failed_call));
    }
    std::wstring target = shortcut.target;
    if (target.size() >= 2 && target.front() == L'"' && target.back() == L'"')
        target = target.substr(1, target.size() - 2);
    return target + L" | " + shortcut.arguments + L" | " + shortcut.working_directory + L" | " + shortcut.description +
           L" | " + shortcut.icon_path + L"," + std::to_wstring(shortcut.icon_index) + L" | show " +
           std::to_wstring(shortcut.show_command) + L"/" + std::to_wstring(shortcut.stored_show_command);
}

bool write_shortcut(const std::wstring& path, const std::wstring& target)
{
    const ShellLink shell;
    make_directories(path.substr(0, path.find_last_of(L'\\')));
    if (SUCCEEDED(shell.queried) && SUCCEEDED(shell.link->SetPath(target.c_str())))
        shell.file->Save(path.c_str(), TRUE);
    return file_exists(path);
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
    for (const std::wstring& entry : list_tree(folder)) {
        if (entry.size() >= 4 && _wcsicmp(entry.c_str() + entry.size() - 4, L".lnk") == 0)
            found.push_back(folder + L"\\" + entry);
    }
    return found;
}

} // namespace testsupport
