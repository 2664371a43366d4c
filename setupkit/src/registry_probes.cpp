#include "setupkit/registry_probes.h"

#include "setupkit/strings.h"

#include <windows.h>

#include <cctype>
#include <cwchar>

namespace {

// Registry key names are at most 255 characters; anything longer is skipped by the search.
constexpr DWORD kSubkeyNameChars = 260;

// RegCreateKeyExW rather than RegOpenKeyExW: the search has always created a missing key, and
// callers may rely on finding it afterwards.
LONG open_machine_key(const wchar_t* path, REGSAM access, HKEY* key, DWORD* disposition)
{
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, access, nullptr, key, disposition);
}

// True when name, capitalised, contains text, capitalised.
bool name_contains(const wchar_t* name, const wchar_t* text)
{
    wchar_t* upper_name = new wchar_t[wcslen(name) + 1];
    wchar_t* upper_text = new wchar_t[wcslen(text) + 1];
    to_upper_ascii(name, upper_name);
    to_upper_ascii(text, upper_text);
    const bool contains = wcsstr(upper_name, upper_text) != nullptr;
    delete[] upper_text;
    delete[] upper_name;
    return contains;
}

} // namespace

bool registry_has_subkey_containing(const wchar_t* subkey_path, const wchar_t* text, bool use_64bit_view)
{
    bool found = false;
    HKEY key = nullptr;
    DWORD disposition = 0;
    DWORD subkey_count = 0;
    const REGSAM view = use_64bit_view ? KEY_WOW64_64KEY : 0;
    wchar_t* path = concat_strings(1, subkey_path);

    if (open_machine_key(path, KEY_QUERY_VALUE | view, &key, &disposition) != ERROR_SUCCESS) {
        key = nullptr;
        goto cleanup;
    }
    if (disposition != REG_OPENED_EXISTING_KEY)
        goto cleanup;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkey_count, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    key = nullptr;

    if (open_machine_key(path, KEY_ENUMERATE_SUB_KEYS | view, &key, &disposition) != ERROR_SUCCESS) {
        key = nullptr;
        goto cleanup;
    }
    // Every index is looked at, even after a hit: the answer does not depend on the order.
    for (DWORD index = 0; index < subkey_count; ++index) {
        wchar_t name[kSubkeyNameChars];
        DWORD name_chars = kSubkeyNameChars;
        if (RegEnumKeyExW(key, index, name, &name_chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        if (name_contains(name, text))
            found = true;
    }

cleanup:
    if (key)
        RegCloseKey(key);
    free_string(&path);
    return found;
}

void to_upper_ascii(const wchar_t* source, wchar_t* destination)
{
    for (; *source; ++source, ++destination) {
        const wchar_t unit = *source;
        *destination = (unit >= L'a' && unit <= L'z') ? static_cast<wchar_t>(std::toupper(unit)) : unit;
    }
    *destination = L'\0';
}

void read_registry_string(HKEY root, const wchar_t* subkey_path, wchar_t* buffer, const wchar_t* value_name)
{
    wchar_t text[kRegistryStringChars];
    DWORD bytes = sizeof(text);
    HKEY key = nullptr;
    text[0] = L'\0';

    // A key that cannot be opened leaves the caller's buffer as it was; nothing is held yet.
    if (RegOpenKeyW(root, subkey_path, &key) != ERROR_SUCCESS)
        return;

    // Whatever the type, the data is taken as UTF-16 text; stored data need not be terminated
    // and may end in half a character, which is dropped.
    if (RegQueryValueExW(key, value_name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) == ERROR_SUCCESS) {
        const size_t units = bytes / sizeof(wchar_t);
        if (units < kRegistryStringChars)
            text[units] = L'\0';
        else if (!wmemchr(text, L'\0', kRegistryStringChars))
            text[0] = L'\0'; // no room left for the terminator: too long, as data that does not fit at all
        wmemcpy(buffer, text, wcslen(text) + 1);
    } else {
        buffer[0] = L'\0';
    }

    // For an empty or null path RegOpenKeyW hands back the root itself, which is the caller's.
    if (key != root)
        RegCloseKey(key);
}
