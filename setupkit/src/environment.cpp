#include "setupkit/environment.h"

#include "setupkit/release_info.h"
#include "setupkit/strings.h"

#include <windows.h>

#include <cwchar>

namespace {

const wchar_t kMachineEnvironmentKey[] = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kUserEnvironmentKey[] = L"Environment";
const wchar_t kInstallRootVariablePrefix[] = L"TALVO_ROOT";

constexpr int kMachineScope = 1;
constexpr int kUserScope = 0;
constexpr UINT kBroadcastTimeoutMs = 50;
constexpr DWORD kOtherTypeBytes = 4;

bool valid_scope(int scope)
{
    return scope == kMachineScope || scope == kUserScope;
}

HKEY open_environment_key(int scope)
{
    HKEY key = nullptr;
    const LONG opened = scope == kMachineScope
                            ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineEnvironmentKey, 0, KEY_ALL_ACCESS, &key)
                            : RegOpenKeyExW(HKEY_CURRENT_USER, kUserEnvironmentKey, 0, KEY_ALL_ACCESS, &key);
    return opened == ERROR_SUCCESS ? key : nullptr;
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

// Deletes the value from an open key; on success also from the process, and announces it.
void delete_value_and_announce(HKEY key, const wchar_t* name)
{
    if (RegDeleteValueW(key, name) != ERROR_SUCCESS)
        return;
    SetEnvironmentVariableW(name, nullptr);
    broadcast_environment_change();
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
    int result = 0;
    HKEY machine_key = nullptr;
    HKEY user_key = nullptr;

    if (scope == kMachineScope) {
        // A user-scope copy would shadow the machine value for this user: it goes first, whether or
        // not the machine key can be opened.
        machine_key = open_environment_key(kMachineScope);
        user_key = open_environment_key(kUserScope);
        if (user_key) {
            delete_value_and_announce(user_key, name);
            RegCloseKey(user_key);
            user_key = nullptr;
        }
        if (!machine_key) {
            result = E_FAIL;
            goto cleanup;
        }
        delete_value_and_announce(machine_key, name);
    } else {
        user_key = open_environment_key(kUserScope);
        if (!user_key) {
            result = E_FAIL;
            goto cleanup;
        }
        delete_value_and_announce(user_key, name);
    }

cleanup:
    if (user_key)
        RegCloseKey(user_key);
    if (machine_key)
        RegCloseKey(machine_key);
    return result;
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
