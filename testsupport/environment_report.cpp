// Prints the suite's environment variables as the machine and the current user's environment keys
// hold them, for a person watching the demonstration.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t* const kVariables[] = {L"TALVO_ROOT182",    L"P_SCHEMA",       L"VOSKEL_LIBDIR182",
                                     L"VELMORA_SYSDIR32", L"CORVANE182_DIR", L"VOSKEL_DOCDIR182"};

struct Scope {
    const char* title;
    HKEY root;
    const wchar_t* subkey;
};

const Scope kScopes[] = {
    {"machine scope (HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment)", HKEY_LOCAL_MACHINE,
     L"System\\CurrentControlSet\\Control\\Session Manager\\Environment"},
    {"user scope (HKCU\\Environment)", HKEY_CURRENT_USER, L"Environment"},
};

void print_wide(const std::wstring& text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    fputs(utf8.c_str(), stdout);
}

const wchar_t* type_name(DWORD type)
{
    switch (type) {
    case REG_SZ:
        return L"REG_SZ";
    case REG_EXPAND_SZ:
        return L"REG_EXPAND_SZ";
    case REG_DWORD:
        return L"REG_DWORD";
    default:
        return L"other type";
    }
}

// "value  (REG_SZ)" or "(not set)".
std::wstring describe_value(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    DWORD bytes = 0;
    if (!key || RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
        return L"(not set)";
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &bytes) != ERROR_SUCCESS)
        return L"(unreadable)";
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return std::wstring(L"(") + type_name(type) + L", " + std::to_wstring(bytes) + L" bytes)";
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text + L"  (" + type_name(type) + L")";
}

} // namespace

int main()
{
    for (const Scope& scope : kScopes) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(scope.root, scope.subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            key = nullptr;
        int set = 0;
        std::wstring lines;
        for (const wchar_t* name : kVariables) {
            const std::wstring value = describe_value(key, name);
            if (value != L"(not set)")
                ++set;
            std::wstring padded = name;
            padded.resize(18, L' ');
            lines += L"    " + padded + L"= " + value + L"\n";
        }
        printf("  %s: %d of 6 set\n", scope.title, set);
        print_wide(lines);
        if (key)
            RegCloseKey(key);
    }
    fflush(stdout);
    return 0;
}
