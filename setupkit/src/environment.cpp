#include "setupkit/environment.h"

#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/scope.h"
#include "setupkit/strings.h"

#include <windows.h>

#include <cwchar>
#include <new>

namespace {

const wchar_t kInstallRootVariablePrefix[] = L"TALVO_ROOT";
constexpr UINT kBroadcastTimeoutMs = 50;
constexpr DWORD kOtherTypeBytes = 4;

bool valid_scope(int scope)
{
    return scope == kMachineScope || scope == kUserScope;
}

HKEY open_environment_key(int scope)
{
    HKEY key = nullptr;
    const EnvironmentKey where = environment_key(scope);
    return RegOpenKeyExW(where.root, where.path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS ? key : nullptr;
}

// Tells every top-level window that the environment changed. Windows that do not answer in time
// are passed over; nothing depends on the answers.
void broadcast_environment_change()
{
    wchar_t area[] = L"Environment";
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(area), SMTO_NORMAL,
                        kBroadcastTimeoutMs, &answer);
}

// True when the key holds the value as a string (REG_SZ or REG_EXPAND_SZ, unexpanded) lying in `root`.
bool value_lies_within(HKEY key, const wchar_t* name, const wchar_t* root)
{
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    const DWORD capacity = bytes / sizeof(wchar_t);
    wchar_t* value = new (std::nothrow) wchar_t[capacity + 1];
    if (!value)
        return false;
    DWORD read_bytes = capacity * sizeof(wchar_t);
    bool within = false;
    // A value changed since it was measured fails with ERROR_MORE_DATA and stays.
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &read_bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // The stored terminator is not trusted.
        value[read_bytes / sizeof(wchar_t) < capacity ? read_bytes / sizeof(wchar_t) : capacity] = L'\0';
        within = path_lies_within(value, root);
    }
    delete[] value;
    return within;
}

// Deletes the value from an open key (when `root` is given, only while it lies there); on success
// also from the process, and announces it.
void delete_value_and_announce(HKEY key, const wchar_t* name, const wchar_t* root)
{
    if (root && !value_lies_within(key, name, root))
        return;
    if (RegDeleteValueW(key, name) != ERROR_SUCCESS)
        return;
    SetEnvironmentVariableW(name, nullptr);
    broadcast_environment_change();
}

// delete_environment_variable, each key's value judged against `root` when one is given.
int delete_in_scope(const wchar_t* name, const wchar_t* root, int scope)
{
    int result = 0;
    HKEY machine_key = nullptr;
    HKEY user_key = nullptr;

    if (scope == kMachineScope) {
        // A user-scope copy would shadow the machine value for this user: it goes first, whether or
        // not the machine key can be opened.
        machine_key = open_environment_key(kMachineScope);
        user_key = open_environment_key(kUserScope);
        if (user_key) {
            delete_value_and_announce(user_key, name, root);
            RegCloseKey(user_key);
            user_key = nullptr;
        }
        if (!machine_key) {
            result = E_FAIL;
            goto cleanup;
        }
        delete_value_and_announce(machine_key, name, root);
    } else {
        user_key = open_environment_key(kUserScope);
        if (!user_key) {
            result = E_FAIL;
            goto cleanup;
        }
        delete_value_and_announce(user_key, name, root);
    }

cleanup:
    if (user_key)
        RegCloseKey(user_key);
    if (machine_key)
        RegCloseKey(machine_key);
    return result;
}

} // namespace

int set_environment_variable(const wchar_t* name, const void* value, unsigned long type, int scope)
{
    if (!valid_scope(scope) || !name || !value)
        return E_INVALIDARG;
    HKEY key = open_environment_key(scope);
    if (!key)
        return E_FAIL;

    const bool string_type = type == REG_SZ || type == REG_EXPAND_SZ;
    const DWORD bytes = string_type
                            ? static_cast<DWORD>((wcslen(static_cast<const wchar_t*>(value)) + 1) * sizeof(wchar_t))
                            : kOtherTypeBytes;
    if (RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(value), bytes) == ERROR_SUCCESS) {
        // An expandable value would need expanding first: the process keeps what it had.
        if (type == REG_SZ)
            SetEnvironmentVariableW(name, static_cast<const wchar_t*>(value));
        broadcast_environment_change();
    }
    RegCloseKey(key);
    return 0;
}

int delete_environment_variable(const wchar_t* name, int scope)
{
    if (!valid_scope(scope) || !name)
        return E_INVALIDARG;
    return delete_in_scope(name, nullptr, scope);
}

int delete_environment_variable_within(const wchar_t* name, const wchar_t* root, int scope)
{
    if (!valid_scope(scope) || !name || !root)
        return E_INVALIDARG;
    return delete_in_scope(name, root, scope);
}

int get_install_root_variable(wchar_t* buffer, int capacity)
{
    const int tag_size = get_release_tag(nullptr, 0);
    wchar_t* tag = new wchar_t[tag_size];
    tag[0] = L'\0';
    get_release_tag(tag, tag_size);
    wchar_t* name = concat_strings(2, kInstallRootVariablePrefix, tag);

    const int needed = static_cast<int>(GetEnvironmentVariableW(name, nullptr, 0));
    int result = needed;
    if (capacity >= needed) {
        if (buffer && capacity > 0)
            GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(capacity));
        result = 0;
    }

    free_string(&name);
    free_string(&tag);
    return result;
}
