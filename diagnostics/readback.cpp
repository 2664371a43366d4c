#include "readback.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>

const wchar_t kMachineEnvironmentKey[] = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kUserEnvironmentKey[] = L"Environment";

const wchar_t* environment_key_name(bool machine)
{
    return machine ? L"HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment" : L"HKCU\\Environment";
}

void read_environment_value(bool machine, const wchar_t* name, EnvironmentValue* value)
{
    HKEY key = nullptr;
    BYTE* data = nullptr;
    DWORD bytes = 0;
    value->type = REG_NONE;
    value->bytes = 0;
    value->text[0] = L'\0';

    value->error = RegOpenKeyExW(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                 machine ? kMachineEnvironmentKey : kUserEnvironmentKey, 0, KEY_QUERY_VALUE, &key);
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

} // namespace

void read_shortcut_info(const wchar_t* path, ShortcutInfo* info)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    memset(info, 0, sizeof(*info));

    info->status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link));
    if (FAILED(info->status)) {
        link = nullptr;
        goto cleanup;
    }
    info->status = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(info->status)) {
        file = nullptr;
        goto cleanup;
    }
    info->status = file->Load(path, STGM_READ);
    if (FAILED(info->status))
        goto cleanup;
    link->GetPath(info->target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(info->arguments, INFOTIPSIZE);
    link->GetWorkingDirectory(info->working_directory, MAX_PATH);
    link->GetDescription(info->description, INFOTIPSIZE);
    link->GetIconLocation(info->icon_path, MAX_PATH, &info->icon_index);
    link->GetShowCmd(&info->show_command);
    info->stored_show_command = stored_show_command(path);

cleanup:
    if (file)
        file->Release();
    if (link)
        link->Release();
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

bool programs_folder(bool machine, wchar_t* path)
{
    path[0] = L'\0';
    if (!SHGetSpecialFolderPathW(nullptr, path, machine ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS, FALSE))
        path[0] = L'\0';
    path[MAX_PATH] = L'\0';
    return path[0] != L'\0';
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

Text::~Text()
{
    delete[] data_;
}

Text& Text::add(const wchar_t* text)
{
    return add(text, text ? wcslen(text) : 0);
}

Text& Text::add(const wchar_t* text, size_t length)
{
    if (length == 0)
        return *this;
    if (length_ + length + 1 > capacity_) {
        const size_t capacity = (length_ + length + 1) * 2;
        wchar_t* grown = new wchar_t[capacity];
        if (data_)
            memcpy(grown, data_, length_ * sizeof(wchar_t));
        delete[] data_;
        data_ = grown;
        capacity_ = capacity;
    }
    memcpy(data_ + length_, text, length * sizeof(wchar_t));
    length_ += length;
    data_[length_] = L'\0';
    return *this;
}

Text& Text::add_number(long number)
{
    wchar_t digits[16];
    wsprintfW(digits, L"%ld", number);
    return add(digits);
}

Text& Text::add_hex(unsigned long number)
{
    wchar_t digits[16];
    wsprintfW(digits, L"0x%08lX", number);
    return add(digits);
}

Text& Text::add_json(const wchar_t* text)
{
    add(L"\"");
    for (const wchar_t* at = text; *at; ++at) {
        wchar_t escaped[8];
        if (*at == L'"' || *at == L'\\') {
            escaped[0] = L'\\';
            escaped[1] = *at;
            add(escaped, 2);
        } else if (*at < 0x20) {
            wsprintfW(escaped, L"\\u%04x", static_cast<unsigned>(*at));
            add(escaped);
        } else {
            add(at, 1);
        }
    }
    return add(L"\"");
}

Text& Text::pad_to(size_t column)
{
    size_t line_start = length_;
    while (line_start > 0 && data_[line_start - 1] != L'\n')
        --line_start;
    do
        add(L" ", 1);
    while (length_ - line_start < column);
    return *this;
}

void Text::clear()
{
    length_ = 0;
    if (data_)
        data_[0] = L'\0';
}

bool Text::write_utf8(HANDLE file) const
{
    bool written = false;
    char* bytes = nullptr;
    DWORD done = 0;
    int size = 0;
    if (length_ == 0)
        return true;
    size = WideCharToMultiByte(CP_UTF8, 0, data_, static_cast<int>(length_), nullptr, 0, nullptr, nullptr);
    bytes = new char[size > 0 ? size : 1];
    if (size > 0 &&
        WideCharToMultiByte(CP_UTF8, 0, data_, static_cast<int>(length_), bytes, size, nullptr, nullptr) == size)
        written = WriteFile(file, bytes, static_cast<DWORD>(size), &done, nullptr) && done == static_cast<DWORD>(size);
    delete[] bytes;
    return written;
}
