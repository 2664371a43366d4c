#include "diagnostics/readback.h"

#include "com_ref.h"

#include "setupkit/environment.h"
#include "setupkit/link_path.h"
#include "setupkit/strings.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>

Text& add_environment_key_name(Text& out, Scope scope)
{
    const EnvironmentKey where = environment_key(scope);
    return out.add(where.root_name).add(L"\\").add(where.path);
}

void read_environment_value(Scope scope, const wchar_t* name, EnvironmentValue* value)
{
    HKEY key = nullptr;
    BYTE* data = nullptr;
    DWORD bytes = 0;
    value->type = REG_NONE;
    value->bytes = 0;
    value->text[0] = L'\0';

    const EnvironmentKey where = environment_key(scope);
    value->error = RegOpenKeyExW(where.root, where.path, 0, KEY_QUERY_VALUE, &key);
    if (value->error != ERROR_SUCCESS) {
        key = nullptr;
        goto cleanup;
    }
    value->error = RegQueryValueExW(key, name, nullptr, &value->type, nullptr, &bytes);
    if (value->error != ERROR_SUCCESS)
        goto cleanup;
    // The stored size is all we trust: odd, unterminated or longer than the text buffer.
    data = new BYTE[bytes + sizeof(wchar_t)];
    value->error = RegQueryValueExW(key, name, nullptr, &value->type, data, &bytes);
    if (value->error != ERROR_SUCCESS)
        goto cleanup;
    value->bytes = bytes;
    if (value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ) {
        DWORD chars = bytes / sizeof(wchar_t);
        if (chars > kValueChars - 1)
            chars = kValueChars - 1;
        memcpy(value->text, data, chars * sizeof(wchar_t));
        value->text[chars] = L'\0';
    }

cleanup:
    delete[] data;
    if (key)
        RegCloseKey(key);
}

Text& add_shortcut_file_name(Text& out, const wchar_t* name, const wchar_t* suffix)
{
    wchar_t* file_name = compose_shortcut_file_name(name, suffix);
    out.add(file_name);
    free_string(&file_name);
    return out;
}

const wchar_t* registry_type_name(DWORD type, wchar_t* buffer)
{
    switch (type) {
    case REG_SZ:
        return L"REG_SZ";
    case REG_EXPAND_SZ:
        return L"REG_EXPAND_SZ";
    case REG_MULTI_SZ:
        return L"REG_MULTI_SZ";
    case REG_DWORD:
        return L"REG_DWORD";
    default:
        wsprintfW(buffer, L"type %lu", type);
        return buffer;
    }
}

namespace {

constexpr LONG kShowCommandOffset = 0x3C;

int stored_show_command(const wchar_t* path)
{
    DWORD stored = 0;
    DWORD got = 0;
    int result = -1;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return result;
    if (SetFilePointer(file, kShowCommandOffset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        ReadFile(file, &stored, sizeof(stored), &got, nullptr) && got == sizeof(stored))
        result = static_cast<int>(stored);
    CloseHandle(file);
    return result;
}

// Its own function so that the shell objects are released before the caller ends its COM
// initialisation.
void load_shortcut(const wchar_t* path, ShortcutInfo* info)
{
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    info->status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
    if (SUCCEEDED(info->status))
        info->status = link->QueryInterface(IID_IPersistFile, file.put_void());
    if (SUCCEEDED(info->status))
        info->status = file->Load(path, STGM_READ);
    if (FAILED(info->status))
        return;
    link->GetPath(info->target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(info->arguments, INFOTIPSIZE);
    link->GetWorkingDirectory(info->working_directory, MAX_PATH);
    link->GetDescription(info->description, INFOTIPSIZE);
    link->GetIconLocation(info->icon_path, MAX_PATH, &info->icon_index);
    link->GetShowCmd(&info->show_command);
    info->stored_show_command = stored_show_command(path);
}

} // namespace

void read_shortcut_info(const wchar_t* path, ShortcutInfo* info)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    memset(info, 0, sizeof(*info));
    load_shortcut(path, info);
    // Balance only our own initialisation; an apartment someone else set up stays as it was.
    if (SUCCEEDED(com))
        CoUninitialize();
}

bool same_target(const wchar_t* target, const wchar_t* wanted)
{
    const size_t length = wcslen(wanted);
    if (_wcsicmp(target, wanted) == 0)
        return true;
    return target[0] == L'"' && _wcsnicmp(target + 1, wanted, length) == 0 && target[length + 1] == L'"' &&
        target[length + 2] == L'\0';
}

int folder_item_count(const wchar_t* folder)
{
    WIN32_FIND_DATAW entry;
    int items = -1;
    const size_t length = wcslen(folder);
    wchar_t* pattern = new wchar_t[length + 3];
    wcscpy(pattern, folder);
    wcscpy(pattern + length, length > 0 && folder[length - 1] == L'\\' ? L"*" : L"\\*");
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search != INVALID_HANDLE_VALUE) {
        items = 0;
        do {
            if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
                ++items;
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    delete[] pattern;
    return items;
}

void error_text(DWORD code, wchar_t* buffer, DWORD capacity)
{
    buffer[0] = L'\0';
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                  capacity, nullptr);
    while (length > 0 && (buffer[length - 1] == L'\n' || buffer[length - 1] == L'\r' || buffer[length - 1] == L' '))
        buffer[--length] = L'\0';
    if (length == 0)
        wsprintfW(buffer, L"error 0x%08lX", code);
}
