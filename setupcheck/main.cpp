// setupcheck: tells whether this release of the suite is registered completely and consistently for
// one install root, in both scopes, read back with the plain registry and shell interfaces. Never
// changes a file or a value. Console program; UTF-8 output.
#include "registration.h"
#include "version.h"

#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/strings.h"

#include <cwchar>
#include <new>

namespace {

enum ExitStatus { kComplete = 0, kIncomplete = 1, kBadUsage = 2 };

const wchar_t kUsage[] =
    L"usage: setupcheck [--json] [INSTALL_ROOT]\n"
    L"Reports the start-menu folder and shortcuts and the six environment variables that postinstall\n"
    L"and preuninstall handle for this release, in both scopes, and what is missing or inconsistent.\n"
    L"Without INSTALL_ROOT, the root is five path components above setupcheck.exe, as for the programs.\n"
    L"Exit status: 0 complete and consistent, 1 not, 2 bad usage.\n";
const wchar_t kReleaseFileBelowRoot[] = L"\\commonfiles\\globalsettings\\relinfo.xml";
const wchar_t kLauncherBelowRoot[] = L"\\Framework\\bin\\Win64\\runfen2.exe";
const wchar_t kSchemaBelowRoot[] = L"\\ORVANE\\CADIntegration\\Parasolid\\PSchema";
const wchar_t kLanguageBelowRoot[] = L"\\CommonFiles\\Language\\";
const wchar_t* const kAddOnFolders[] = {L"TESSAL", L"CORVANE"};
constexpr int kNameChars = 1024;

// Everything the check reads, and what it found.
struct Check {
    wchar_t root[MAX_PATH + 1];
    wchar_t release_file[MAX_PATH + 64];
    bool release_file_read;
    wchar_t folder_name[kNameChars];
    wchar_t suffix[kNameChars];
    wchar_t main_shortcut[kNameChars + 32]; // file name
    ScopeRegistration scopes[2];            // machine, user
    Text findings_text;
    Text findings_json;
    int problems;
    bool registered[2];
};

void finding(Check& check, const wchar_t* kind, const Text& text)
{
    check.findings_text.add(L"  ").add(text.c_str()).add(L"\n");
    check.findings_json.add(check.problems ? L", " : L"").add(L"{\"kind\": \"").add(kind).add(L"\", \"text\": ");
    check.findings_json.add_json(text.c_str()).add(L"}");
    ++check.problems;
}

bool exists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// Copies the key's value as the programs read it into `value` (kNameChars); "" without one, and for a
// value too long to name a start-menu folder.
void copy_release_value(const char* content, unsigned long length, const char* key, wchar_t* value)
{
    wchar_t* found = find_release_value(content, length, key);
    value[0] = L'\0';
    if (wcslen(found) < static_cast<size_t>(kNameChars))
        wcscpy(value, found);
    free_string(&found);
}

// The whole release-information file, searched by the programs' own rule. Read-only: a missing file
// stays missing (the programs' reader would leave it behind empty).
void read_release_information(Check& check)
{
    LARGE_INTEGER size = {};
    char* content = nullptr;
    DWORD got = 0;
    wsprintfW(check.release_file, L"%s%s", check.root, kReleaseFileBelowRoot);
    HANDLE file = CreateFileW(check.release_file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    check.release_file_read = false;
    // Past 2 GiB neither the programs' reader nor one ReadFile takes it.
    if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
        size.QuadPart < 0x7FFFFFFF) {
        content = new (std::nothrow) char[static_cast<size_t>(size.QuadPart) + 1];
        check.release_file_read =
            content && ReadFile(file, content, static_cast<DWORD>(size.QuadPart), &got, nullptr);
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!check.release_file_read)
        got = 0;
    copy_release_value(content ? content : "", got, "startMenuFolderName", check.folder_name);
    copy_release_value(content ? content : "", got, "startMenuShortcutAppendRevision", check.suffix);
    delete[] content;
    wsprintfW(check.main_shortcut, check.suffix[0] ? L"Fenwright %s.lnk" : L"Fenwright.lnk", check.suffix);
}

const wchar_t* scope_name(int scope)
{
    return scope == 0 ? L"machine scope" : L"user scope";
}

// The main shortcut of one scope: present, starting this root's launcher, which exists.
void check_shortcut(Check& check, int scope)
{
    const ScopeRegistration& registration = check.scopes[scope];
    wchar_t launcher[MAX_PATH + 64];
    wsprintfW(launcher, L"%s%s", check.root, kLauncherBelowRoot);
    Text text;
    for (int i = 0; i < registration.shortcut_count && i < kMaxShortcuts; ++i) {
        const ShortcutEntry& entry = registration.shortcuts[i];
        const wchar_t* file_name = wcsrchr(entry.path, L'\\');
        const size_t folder_length = wcslen(registration.folder);
        if (!file_name || _wcsicmp(file_name + 1, check.main_shortcut) != 0 ||
            static_cast<size_t>(file_name - entry.path) != folder_length ||
            _wcsnicmp(entry.path, registration.folder, folder_length) != 0)
            continue;
        if (FAILED(entry.info.status)) {
            finding(check, L"unreadable", text.add(L"the shortcut ").add(entry.path).add(L" cannot be read"));
        } else if (!same_target(entry.info.target, launcher)) {
            finding(check, L"other_root",
                    text.add(L"the shortcut ")
                        .add(entry.path)
                        .add(L" starts ")
                        .add(entry.info.target)
                        .add(L", not this root's ")
                        .add(launcher));
        } else if (!exists(launcher)) {
            finding(check, L"target_missing",
                    text.add(L"the shortcut ")
                        .add(entry.path)
                        .add(L" starts ")
                        .add(launcher)
                        .add(L", which does not exist"));
        }
        return;
    }
    finding(check, L"missing",
            text.add(L"missing in ")
                .add(scope_name(scope))
                .add(L": the shortcut ")
                .add(registration.folder)
                .add(L"\\")
                .add(check.main_shortcut));
}

// Postinstall's four variables in the scope that holds the registration.
void check_variables(Check& check, int scope)
{
    const ScopeRegistration& registration = check.scopes[scope];
    Text expected[4];
    expected[0].add(check.root);
    expected[1].add(check.root).add(kSchemaBelowRoot);
    expected[2].add(check.root).add(kLanguageBelowRoot);
    expected[3].add(L"win32");
    for (int i = 0; i < 4; ++i) {
        const EnvironmentValue& value = registration.variables[i];
        Text text;
        text.add(kSuiteVariables[i]).add(L" in ").add(environment_key_name(scope == 0));
        if (value.error != ERROR_SUCCESS) {
            finding(check, L"missing",
                    text.add(value.error == ERROR_FILE_NOT_FOUND ? L" is not set" : L" cannot be read"));
        } else if (i == 2 ? _wcsnicmp(value.text, expected[i].c_str(), expected[i].length()) != 0
                          : _wcsicmp(value.text, expected[i].c_str()) != 0) {
            // Values that point elsewhere are reported by check_other_roots.
            if (i == 3 || path_lies_within(value.text, check.root))
                finding(check, L"wrong_value",
                        text.add(L" is \"")
                            .add(value.text)
                            .add(L"\", not \"")
                            .add(expected[i].c_str())
                            .add(i == 2 ? L"<language>\"" : L"\""));
        }
    }
}

// Path values in either scope that lie outside this root: a different or a removed installation.
void check_other_roots(Check& check)
{
    const int path_variables[] = {0, 1, 2, 4, 5};
    for (int scope = 0; scope < 2; ++scope) {
        for (int i : path_variables) {
            const EnvironmentValue& value = check.scopes[scope].variables[i];
            if (value.error != ERROR_SUCCESS || path_lies_within(value.text, check.root))
                continue;
            Text text;
            text.add(kSuiteVariables[i])
                .add(L" in ")
                .add(environment_key_name(scope == 0))
                .add(L" is \"")
                .add(value.text)
                .add(L"\", outside this install root");
            text.add(exists(value.text) ? L" (another installation?)"
                                        : L" (it does not exist: a removed installation?)");
            finding(check, L"other_root", text);
        }
    }
}

void check_shadowing(Check& check)
{
    for (int i = 0; i < kVariableCount; ++i) {
        const EnvironmentValue& machine = check.scopes[0].variables[i];
        const EnvironmentValue& user = check.scopes[1].variables[i];
        if (machine.error != ERROR_SUCCESS || user.error != ERROR_SUCCESS || wcscmp(machine.text, user.text) == 0)
            continue;
        Text text;
        finding(check, L"shadowed",
                text.add(kSuiteVariables[i])
                    .add(L": the user value \"")
                    .add(user.text)
                    .add(L"\" shadows the machine value \"")
                    .add(machine.text)
                    .add(L"\""));
    }
}

void check_empty_folders(Check& check)
{
    wchar_t path[MAX_PATH + 16];
    for (int scope = 0; scope < 2 && check.folder_name[0]; ++scope) {
        const ScopeRegistration& registration = check.scopes[scope];
        for (int i = -1; i < 2 && registration.folder_exists; ++i) {
            wsprintfW(path, i < 0 ? L"%s" : L"%s\\%s", registration.folder, i < 0 ? L"" : kAddOnFolders[i]);
            Text text;
            if (folder_item_count(path) == 0)
                finding(check, L"empty_folder", text.add(L"the start-menu folder ").add(path).add(L" is empty"));
        }
    }
}

void check_registration(Check& check)
{
    for (int scope = 0; scope < 2; ++scope) {
        const ScopeRegistration& registration = check.scopes[scope];
        check.registered[scope] = false;
        for (int i = 0; i < registration.shortcut_count && i < kMaxShortcuts; ++i) {
            const wchar_t* file_name = wcsrchr(registration.shortcuts[i].path, L'\\');
            if (file_name && _wcsicmp(file_name + 1, check.main_shortcut) == 0)
                check.registered[scope] = true;
        }
        for (int i = 0; i < 3; ++i) {
            const EnvironmentValue& value = registration.variables[i];
            if (value.error == ERROR_SUCCESS && path_lies_within(value.text, check.root))
                check.registered[scope] = true;
        }
    }
    if (!check.registered[0] && !check.registered[1]) {
        Text text;
        finding(check, L"not_registered",
                text.add(L"not registered: neither scope holds the shortcut ")
                    .add(check.main_shortcut)
                    .add(L" or a variable of this install root"));
    }
    for (int scope = 0; scope < 2; ++scope) {
        if (check.registered[scope]) {
            check_shortcut(check, scope);
            check_variables(check, scope);
        }
    }
    check_other_roots(check);
    check_shadowing(check);
    check_empty_folders(check);
}

const wchar_t* registered_scopes(const Check& check)
{
    if (check.registered[0] && check.registered[1])
        return L"machine and user";
    return check.registered[0] ? L"machine" : check.registered[1] ? L"user" : L"none";
}

void report_text(const Check& check, Text& out)
{
    out.add(L"setupcheck ").add(SETUPKIT_VERSION).add(L"\ninstall root: ").add(check.root).add(L"\n");
    out.add(L"release information: ").add(check.release_file);
    if (check.release_file_read) {
        out.add(L": start-menu folder \"").add(check.folder_name).add(L"\", revision suffix \"").add(check.suffix);
        out.add(L"\"\n");
    } else {
        out.add(L": cannot be read\n");
    }
    add_registration_listing(check.scopes[0], check.scopes[1], check.folder_name, out);
    out.add(L"Findings\n  registered in: ").add(registered_scopes(check)).add(L"\n").add(check.findings_text.c_str());
    if (check.problems == 0)
        out.add(L"Result: complete and consistent\n");
    else
        out.add(L"Result: incomplete or inconsistent, ")
            .add_number(check.problems)
            .add(check.problems == 1 ? L" finding\n" : L" findings\n");
}

void report_json(const Check& check, Text& out)
{
    out.add(L"{\"version\": ").add_json(SETUPKIT_VERSION).add(L", \"install_root\": ").add_json(check.root);
    out.add(L", \"release_information\": {\"file\": ").add_json(check.release_file);
    out.add(L", \"read\": ").add(check.release_file_read ? L"true" : L"false");
    out.add(L", \"start_menu_folder\": ").add_json(check.folder_name);
    out.add(L", \"revision_suffix\": ").add_json(check.suffix).add(L"}, \"scopes\": [");
    add_registration_json(check.scopes[0], out);
    out.add(L", ");
    add_registration_json(check.scopes[1], out);
    out.add(L"], \"registered_in\": ").add_json(registered_scopes(check));
    out.add(L", \"findings\": [").add(check.findings_json.c_str()).add(L"], \"complete\": ");
    out.add(check.problems == 0 ? L"true" : L"false").add(L"}\n");
}

// The root as given, made absolute, without a trailing backslash unless it is a drive's root.
// "C:\Root\" on a command line reaches us as C:\Root" (the backslash escapes the quote), as
// an installer passing a directory property with its trailing backslash produces it.
bool set_root(const wchar_t* given, wchar_t* root)
{
    wchar_t unquoted[MAX_PATH + 1];
    lstrcpynW(unquoted, given, MAX_PATH + 1);
    const size_t given_length = wcslen(unquoted);
    if (given_length > 0 && unquoted[given_length - 1] == L'"')
        unquoted[given_length - 1] = L'\0';
    const DWORD length = GetFullPathNameW(unquoted, MAX_PATH + 1, root, nullptr);
    if (length == 0 || length > MAX_PATH)
        return false;
    if (length > 3 && root[length - 1] == L'\\')
        root[length - 1] = L'\0';
    return true;
}

int write_out(const wchar_t* text, DWORD handle)
{
    Text out;
    out.add(text);
    out.write_utf8(GetStdHandle(handle));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int status = kBadUsage;
    bool json = false;
    const wchar_t* given_root = nullptr;
    Check* check = nullptr;
    Text out;

    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"/?") == 0 || wcscmp(argv[i], L"-h") == 0 || wcscmp(argv[i], L"--help") == 0) {
            write_out(kUsage, STD_OUTPUT_HANDLE);
            return kComplete;
        }
        if (wcscmp(argv[i], L"--json") == 0)
            json = true;
        else if (argv[i][0] == L'-' || argv[i][0] == L'/' || argv[i][0] == L'\0' || given_root)
            goto usage;
        else
            given_root = argv[i];
    }
    check = new Check();
    if (given_root ? !set_root(given_root, check->root)
                   : get_install_root(nullptr, 0) > MAX_PATH + 1 || get_install_root(check->root, MAX_PATH + 1) != 0)
        goto usage;
    read_release_information(*check);
    read_scope_registration(true, check->folder_name, check->main_shortcut, &check->scopes[0]);
    read_scope_registration(false, check->folder_name, check->main_shortcut, &check->scopes[1]);
    check_registration(*check);
    if (json)
        report_json(*check, out);
    else
        report_text(*check, out);
    out.write_utf8(GetStdHandle(STD_OUTPUT_HANDLE));
    status = check->problems == 0 ? kComplete : kIncomplete;
    goto cleanup;

usage:
    write_out(kUsage, STD_ERROR_HANDLE);
    status = kBadUsage;
cleanup:
    delete check;
    return status;
}
