// setupcheck: tells whether this release of the suite is registered completely and consistently for
// one install root, in both scopes, read back with the plain registry and shell interfaces. Never
// changes a file or a value. Console program; UTF-8 output.
#include "diagnostics/registration_listing.h"
#include "diagnostics/version.h"
#include "suite/registration.h"

#include "setupkit/dll_search.h"
#include "setupkit/install_root.h"
#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/shortcuts.h"
#include "setupkit/strings.h"
#include "setupkit/whole_file.h"

#include <cwchar>

namespace {

enum ExitStatus { kComplete = 0, kIncomplete = 1, kBadUsage = 2 };

const wchar_t kUsage[] =
    L"usage: setupcheck [--json] [INSTALL_ROOT]\n"
    L"       setupcheck --version\n"
    L"Reports the start-menu folder and shortcuts and the six environment variables that postinstall\n"
    L"and preuninstall handle for this release, in both scopes, and what is missing or inconsistent.\n"
    L"Without INSTALL_ROOT, the root is five path components above setupcheck.exe, as for the programs.\n"
    L"Exit status: 0 complete and consistent, 1 not, 2 bad usage.\n";
constexpr int kNameChars = 1024;
// Both scopes, in the order the report lists them.
constexpr Scope kScopes[] = {kMachineScope, kUserScope};

// Everything the check reads, and what it found.
struct Check {
    wchar_t root[MAX_PATH + 1];
    wchar_t release_file[MAX_PATH + 64]; // "" when the root leaves no room for the file's place
    bool release_file_read;
    wchar_t folder_name[kNameChars];
    wchar_t suffix[kNameChars];
    wchar_t main_shortcut[kNameChars + 32]; // file name
    ScopeRegistration scopes[2]; // indexed by Scope
    Text findings_text;
    Text findings_json;
    int problems;
    bool registered[2]; // indexed by Scope
    bool refused[2];    // indexed by Scope: the programs refuse the main shortcut's name there
};

void finding(Check& check, const wchar_t* kind, const Text& text)
{
    check.findings_text.add(L"  ").add(text.c_str()).add(L"\n");
    check.findings_json.add(check.problems ? L", " : L"").add(L"{\"kind\": \"").add(kind).add(L"\", \"text\": ");
    check.findings_json.add_json(text.c_str()).add(L"}");
    ++check.problems;
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
// stays missing.
void read_release_information(Check& check)
{
    char* content = nullptr;
    unsigned long length = 0;
    check.release_file_read =
        compose_path(check.release_file, MAX_PATH + 64, check.root, kReleaseFileBelowRoot) &&
        read_whole_file(check.release_file, &content, &length, MissingFile::kLeave) != 0;
    if (!check.release_file_read)
        length = 0;
    copy_release_value(content ? content : "", length, "startMenuFolderName", check.folder_name);
    copy_release_value(content ? content : "", length, "startMenuShortcutAppendRevision", check.suffix);
    delete[] content;
    Text file_name;
    compose_path(check.main_shortcut, kNameChars + 32,
                 add_shortcut_file_name(file_name, kMainShortcut.name, check.suffix).c_str(), L"");
}

const wchar_t* scope_name(Scope scope)
{
    return scope == kMachineScope ? L"machine scope" : L"user scope";
}

// The main shortcut of one scope: present, starting this root's launcher, which exists.
void check_shortcut(Check& check, Scope scope)
{
    const ScopeRegistration& registration = check.scopes[scope];
    wchar_t launcher[MAX_PATH + 64];
    compose_path(launcher, MAX_PATH + 64, check.root, kMainShortcut.launcher_directory, kMainShortcut.launcher_file);
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
        } else if (!path_exists(launcher)) {
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

// The variables postinstall writes, in the scope that holds the registration.
void check_variables(Check& check, Scope scope)
{
    const ScopeRegistration& registration = check.scopes[scope];
    for (int i = 0; i < kSuiteVariableCount; ++i) {
        const SuiteVariable& variable = kSuiteVariables[i];
        if (!written_by_postinstall(variable))
            continue;
        const bool fixed = variable.source == VariableValue::kFixed;
        const bool language = variable.source == VariableValue::kLanguageBelowRoot;
        Text expected;
        expected.add(fixed ? L"" : check.root).add(variable.value);
        const EnvironmentValue& value = registration.variables[i];
        Text text;
        add_environment_key_name(text.add(variable.name).add(L" in "), scope);
        if (value.error != ERROR_SUCCESS) {
            finding(check, L"missing",
                    text.add(value.error == ERROR_FILE_NOT_FOUND ? L" is not set" : L" cannot be read"));
        } else if (language ? _wcsnicmp(value.text, expected.c_str(), expected.length()) != 0
                            : _wcsicmp(value.text, expected.c_str()) != 0) {
            // Values that point elsewhere are reported by check_other_roots.
            if (fixed || path_lies_within(value.text, check.root))
                finding(check, L"wrong_value",
                        text.add(L" is \"")
                            .add(value.text)
                            .add(L"\", not \"")
                            .add(expected.c_str())
                            .add(language ? L"<language>\"" : L"\""));
        }
    }
}

// Path values in either scope that lie outside this root: a different or a removed installation.
void check_other_roots(Check& check)
{
    for (const Scope scope : kScopes) {
        for (int i = 0; i < kSuiteVariableCount; ++i) {
            const EnvironmentValue& value = check.scopes[scope].variables[i];
            if (kSuiteVariables[i].source == VariableValue::kFixed || value.error != ERROR_SUCCESS ||
                path_lies_within(value.text, check.root))
                continue;
            Text text;
            add_environment_key_name(text.add(kSuiteVariables[i].name).add(L" in "), scope)
                .add(L" is \"")
                .add(value.text)
                .add(L"\", outside this install root");
            text.add(path_exists(value.text) ? L" (another installation?)"
                                        : L" (it does not exist: a removed installation?)");
            finding(check, L"other_root", text);
        }
    }
}

void check_shadowing(Check& check)
{
    for (int i = 0; i < kSuiteVariableCount; ++i) {
        const EnvironmentValue& machine = check.scopes[kMachineScope].variables[i];
        const EnvironmentValue& user = check.scopes[kUserScope].variables[i];
        if (machine.error != ERROR_SUCCESS || user.error != ERROR_SUCCESS || wcscmp(machine.text, user.text) == 0)
            continue;
        Text text;
        finding(check, L"shadowed",
                text.add(kSuiteVariables[i].name)
                    .add(L": the user value \"")
                    .add(user.text)
                    .add(L"\" shadows the machine value \"")
                    .add(machine.text)
                    .add(L"\""));
    }
}

void check_empty_folder(Check& check, const wchar_t* path)
{
    Text text;
    if (folder_item_count(path) == 0)
        finding(check, L"empty_folder", text.add(L"the start-menu folder ").add(path).add(L" is empty"));
}

// The suite's folder and the add-on folders in it, in each scope.
void check_empty_folders(Check& check)
{
    for (const Scope scope : kScopes) {
        const ScopeRegistration& registration = check.scopes[scope];
        if (!check.folder_name[0] || !registration.folder_exists)
            continue;
        check_empty_folder(check, registration.folder);
        for (const wchar_t* add_on_folder : kAddOnFolders) {
            Text path;
            check_empty_folder(check, path.add(registration.folder).add(L"\\").add(add_on_folder).c_str());
        }
    }
}

// The main shortcut in each scope, by the programs' own rule: a name they refuse is never made, so
// the registration cannot be complete whatever else is found.
void check_refused_names(Check& check)
{
    Text folder;
    folder.add(L"\\").add(check.folder_name).add(L"\\");
    for (const Scope scope : kScopes) {
        const wchar_t* programs = check.scopes[scope].programs;
        const wchar_t* refusal =
            programs[0] ? start_menu_shortcut_refusal(programs, folder.c_str(), kMainShortcut.name, check.suffix)
                        : nullptr;
        check.refused[scope] = refusal != nullptr;
        if (!refusal)
            continue;
        wchar_t* path = compose_start_menu_link_path(programs, folder.c_str(), kMainShortcut.name, check.suffix);
        Text text;
        text.add(L"refused in ").add(scope_name(scope)).add(L": the shortcut ").add(path).add(L": ").add(refusal);
        finding(check, L"refused_name", text);
        free_string(&path);
    }
}

void check_registration(Check& check)
{
    check_refused_names(check);
    for (const Scope scope : kScopes) {
        const ScopeRegistration& registration = check.scopes[scope];
        check.registered[scope] = false;
        for (int i = 0; i < registration.shortcut_count && i < kMaxShortcuts; ++i) {
            const wchar_t* file_name = wcsrchr(registration.shortcuts[i].path, L'\\');
            if (file_name && _wcsicmp(file_name + 1, check.main_shortcut) == 0)
                check.registered[scope] = true;
        }
        for (int i = 0; i < kSuiteVariableCount; ++i) {
            const EnvironmentValue& value = registration.variables[i];
            if (derived_from_root(kSuiteVariables[i]) && value.error == ERROR_SUCCESS &&
                path_lies_within(value.text, check.root))
                check.registered[scope] = true;
        }
    }
    if (!check.registered[kMachineScope] && !check.registered[kUserScope]) {
        Text text;
        finding(check, L"not_registered",
                text.add(L"not registered: neither scope holds the shortcut ")
                    .add(check.main_shortcut)
                    .add(L" or a variable of this install root"));
    }
    for (const Scope scope : kScopes) {
        if (check.registered[scope]) {
            if (!check.refused[scope])
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
    const bool machine = check.registered[kMachineScope];
    const bool user = check.registered[kUserScope];
    if (machine && user)
        return L"machine and user";
    return machine ? L"machine" : user ? L"user" : L"none";
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
    add_registration_listing(check.scopes[kMachineScope], check.scopes[kUserScope], check.folder_name, out);
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
    add_registration_json(check.scopes[kMachineScope], out);
    out.add(L", ");
    add_registration_json(check.scopes[kUserScope], out);
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
    // A root too long for the buffer is refused, not cut: the cut text would name another folder.
    if (!compose_path(unquoted, MAX_PATH + 1, given, L""))
        return false;
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

void write_out(const wchar_t* text, DWORD handle)
{
    Text out;
    out.add(text);
    out.write_utf8(GetStdHandle(handle));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    restrict_dll_search();
    int status = kBadUsage;
    bool json = false;
    const wchar_t* given_root = nullptr;
    Check* check = nullptr;
    Text out;

    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"/?") == 0 || wcscmp(argv[i], L"-h") == 0 || wcscmp(argv[i], L"--help") == 0) {
            write_out(kUsage, STD_OUTPUT_HANDLE);
            status = kComplete;
            goto cleanup;
        }
        if (wcscmp(argv[i], L"--version") == 0) {
            write_out(L"setupcheck " SETUPKIT_VERSION L"\n", STD_OUTPUT_HANDLE);
            status = kComplete;
            goto cleanup;
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
    for (const Scope scope : kScopes)
        read_scope_registration(scope, check->folder_name, check->main_shortcut, &check->scopes[scope]);
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
