#include "testsupport/registry.h"

#include <sddl.h>

#include <cstring>

namespace testsupport {

const wchar_t kMachineEnvironmentKey[] = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kUserEnvironmentKey[] = L"Environment";

namespace {

HKEY root_of(Scope scope)
{
    return scope == kMachineScope ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

const wchar_t* subkey_of(Scope scope)
{
    return scope == kMachineScope ? kMachineEnvironmentKey : kUserEnvironmentKey;
}

constexpr SECURITY_INFORMATION kSavedParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

} // namespace

std::wstring RegistryValue::text() const
{
    std::wstring all(data.size() / sizeof(wchar_t), L'\0');
    memcpy(&all[0], data.data(), all.size() * sizeof(wchar_t));
    return all.substr(0, all.find(L'\0'));
}

RegistryValue read_registry_value(HKEY root, const wchar_t* subkey, const wchar_t* name)
{
    RegistryValue value;
    HKEY key = nullptr;
    value.error = RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE, &key);
    if (value.error != ERROR_SUCCESS)
        return value;
    DWORD bytes = 0;
    value.error = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &bytes);
    if (value.error == ERROR_SUCCESS) {
        value.data.resize(bytes);
        value.error = RegQueryValueExW(key, name, nullptr, &value.type, bytes ? value.data.data() : nullptr, &bytes);
        value.data.resize(bytes);
        value.exists = value.error == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return value;
}

RegistryValue read_environment_value(Scope scope, const wchar_t* name)
{
    return read_registry_value(root_of(scope), subkey_of(scope), name);
}

EnvironmentValues environment_values(Scope scope)
{
    EnvironmentValues values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_of(scope), subkey_of(scope), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    wchar_t name[16384];
    for (DWORD index = 0, chars = 16384; RegEnumValueW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) ==
                                         ERROR_SUCCESS;
         ++index, chars = 16384) {
        const RegistryValue value = read_registry_value(key, L"", name);
        values[name] = {value.type, value.data};
    }
    RegCloseKey(key);
    return values;
}

LONG write_environment_string(Scope scope, const wchar_t* name, const std::wstring& value)
{
    return RegSetKeyValueW(root_of(scope), subkey_of(scope), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void delete_environment_value(Scope scope, const wchar_t* name)
{
    RegDeleteKeyValueW(root_of(scope), subkey_of(scope), name);
}

void forget_environment_variable(const wchar_t* name)
{
    delete_environment_value(kMachineScope, name);
    delete_environment_value(kUserScope, name);
    SetEnvironmentVariableW(name, nullptr);
}

std::wstring process_variable(const wchar_t* name)
{
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0)
        return L"(not set)";
    std::wstring value(needed, L'\0');
    const DWORD copied = GetEnvironmentVariableW(name, &value[0], needed);
    value.resize(copied < needed ? copied : 0);
    return value;
}

DenyingKeyDacl::DenyingKeyDacl(HKEY root, const wchar_t* subkey)
{
    PSECURITY_DESCRIPTOR deny_all = nullptr;
    DWORD bytes = 0;
    error_ = RegOpenKeyExW(root, subkey, 0, READ_CONTROL | WRITE_DAC | WRITE_OWNER, &key_);
    if (error_ != ERROR_SUCCESS) {
        key_ = nullptr;
    } else {
        RegGetKeySecurity(key_, kSavedParts, nullptr, &bytes);
        saved_.resize(bytes ? bytes : 1);
        error_ = RegGetKeySecurity(key_, kSavedParts, saved_.data(), &bytes);
    }
    // Protected, one entry: everyone is denied every key right.
    if (error_ == ERROR_SUCCESS && !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                       L"D:P(D;;KA;;;WD)", SDDL_REVISION_1, &deny_all, nullptr))
        error_ = static_cast<LONG>(GetLastError());
    if (error_ == ERROR_SUCCESS)
        error_ = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, deny_all);
    active_ = error_ == ERROR_SUCCESS;
    LocalFree(deny_all);
}

DenyingKeyDacl::~DenyingKeyDacl()
{
    if (active_)
        RegSetKeySecurity(key_, kSavedParts, saved_.data());
    if (key_)
        RegCloseKey(key_);
}

} // namespace testsupport
