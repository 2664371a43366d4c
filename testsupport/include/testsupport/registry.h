// Reading and preparing registry values with the raw API, and making a key refuse access for real.
#pragma once

#include "setupkit/scope.h"

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The keys that hold persistent environment variables.
extern const wchar_t kMachineEnvironmentKey[]; // below HKEY_LOCAL_MACHINE
extern const wchar_t kUserEnvironmentKey[];    // below HKEY_CURRENT_USER

struct RegistryValue {
    bool exists = false;
    DWORD type = 0;
    std::vector<BYTE> data; // exactly the stored bytes
    LONG error = 0;         // RegQueryValueExW's result when it failed

    // The data as a wide string, up to the first null or the end of the data.
    std::wstring text() const;
};

RegistryValue read_registry_value(HKEY root, const wchar_t* subkey, const wchar_t* name);

inline Scope other_scope(Scope scope) { return scope == kMachineScope ? kUserScope : kMachineScope; }

RegistryValue read_environment_value(Scope scope, const wchar_t* name);

// Every value of the scope's environment key: name -> type and bytes.
using EnvironmentValues = std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>;
EnvironmentValues environment_values(Scope scope);

// Writes a REG_SZ value (with its terminator); ERROR_SUCCESS or the failure.
LONG write_environment_string(Scope scope, const wchar_t* name, const std::wstring& value);

// Removes the value from the key; a missing value is fine.
void delete_environment_value(Scope scope, const wchar_t* name);

// Removes the value from both environment keys and from the process environment.
void forget_environment_variable(const wchar_t* name);

// The process environment's value, or "(not set)".
std::wstring process_variable(const wchar_t* name);

// While alive, a DACL that denies everyone every key right sits on the key, so opening it with
// KEY_ALL_ACCESS fails (Wine enforces key security only on keys given a descriptor in the running
// server). Owner, group and DACL are restored on destruction through a handle opened beforehand.
class DenyingKeyDacl {
public:
    DenyingKeyDacl(HKEY root, const wchar_t* subkey);
    ~DenyingKeyDacl();
    DenyingKeyDacl(const DenyingKeyDacl&) = delete;
    DenyingKeyDacl& operator=(const DenyingKeyDacl&) = delete;

    bool active() const { return active_; }
    // The last error when the DACL could not be set.
    LONG error() const { return error_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;
    bool active_ = false;
    LONG error_ = 0;
};

} // namespace testsupport
