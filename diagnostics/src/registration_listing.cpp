#include "diagnostics/registration_listing.h"

#include "setupkit/paths.h"

#include <cstring>
#include <cwchar>

namespace {

// A folder that can be listed; a file of that name is none.
bool is_directory(const wchar_t* path)
{
    return folder_item_count(path) >= 0;
}

void add_shortcut(const wchar_t* path, ScopeRegistration* scope)
{
    if (scope->shortcut_count < kMaxShortcuts) {
        ShortcutEntry& entry = scope->shortcuts[scope->shortcut_count];
        compose_path(entry.path, MAX_PATH + 1, path, L"");
        read_shortcut_info(path, &entry.info);
    }
    ++scope->shortcut_count;
}

// Every .lnk below `folder`, in the order the file system lists them, files before sub-folders.
void collect_shortcuts(const wchar_t* folder, ScopeRegistration* scope)
{
    wchar_t path[MAX_PATH + 8];
    WIN32_FIND_DATAW entry;
    for (int pass = 0; pass < 2; ++pass) {
        if (!compose_path(path, MAX_PATH + 8, folder, L"\\*"))
            return;
        HANDLE search = FindFirstFileW(path, &entry);
        if (search == INVALID_HANDLE_VALUE)
            return;
        do {
            const bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const size_t length = wcslen(entry.cFileName);
            // An entry whose path would pass MAX_PATH is left out: the shell could not open it.
            if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0 ||
                !compose_path(path, MAX_PATH + 1, folder, L"\\", entry.cFileName))
                continue;
            if (pass == 0 && !directory && length >= 4 && _wcsicmp(entry.cFileName + length - 4, L".lnk") == 0)
                add_shortcut(path, scope);
            else if (pass == 1 && directory)
                collect_shortcuts(path, scope);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
}

const wchar_t* or_none(const wchar_t* text)
{
    return text[0] ? text : L"(none)";
}

const wchar_t* show_command_text(int show_command, wchar_t* buffer)
{
    switch (show_command) {
    case SW_SHOWNORMAL:
        return L"1 (normal window)";
    case SW_SHOWMAXIMIZED:
        return L"3 (maximised)";
    case SW_SHOWMINNOACTIVE:
        return L"7 (minimised)";
    default:
        wsprintfW(buffer, L"%d", show_command);
        return buffer;
    }
}

void add_property(Text& out, const wchar_t* label, const wchar_t* value)
{
    out.add(L"        ").add(label).pad_to(28).add(value).add(L"\n");
}

void add_start_menu(const ScopeRegistration& scope, const wchar_t* folder_name, Text& out)
{
    wchar_t number[16];
    out.add(scope.scope == kMachineScope ? L"  all users (machine scope): " : L"  current user (user scope): ")
        .add(or_none(scope.programs))
        .add(L"\n");
    if (!scope.programs[0])
        return;
    out.add(L"    folder \"").add(folder_name).add(L"\": ");
    if (!scope.folder_exists) {
        out.add(L"does not exist\n");
        return;
    }
    out.add(L"exists, holds ")
        .add_number(scope.shortcut_count)
        .add(scope.shortcut_count == 1 ? L" shortcut\n" : L" shortcuts\n");
    for (int i = 0; i < scope.shortcut_count && i < kMaxShortcuts; ++i) {
        const ShortcutEntry& entry = scope.shortcuts[i];
        out.add(L"      shortcut ").add(entry.path).add(L"\n");
        if (FAILED(entry.info.status)) {
            out.add(L"        (cannot be read)")
                .pad_to(28)
                .add_hex(static_cast<unsigned long>(entry.info.status))
                .add(L"\n");
            continue;
        }
        add_property(out, L"target", or_none(entry.info.target));
        add_property(out, L"arguments", or_none(entry.info.arguments));
        add_property(out, L"working directory", or_none(entry.info.working_directory));
        add_property(out, L"description", or_none(entry.info.description));
        out.add(L"        icon").pad_to(28).add(or_none(entry.info.icon_path)).add(L", index ");
        out.add_number(entry.info.icon_index).add(L"\n");
        add_property(out, L"show command", show_command_text(entry.info.stored_show_command, number));
    }
}

void add_environment(const ScopeRegistration& scope, Text& out)
{
    wchar_t type[16];
    int set = 0;
    for (const EnvironmentValue& value : scope.variables)
        set += value.error != ERROR_FILE_NOT_FOUND ? 1 : 0;
    out.add(scope.scope == kMachineScope ? L"  machine scope: " : L"  user scope: ");
    add_environment_key_name(out, scope.scope);
    out.add(L", ").add_number(set).add(L" of ").add_number(kSuiteVariableCount).add(L" set\n");
    for (int i = 0; i < kSuiteVariableCount; ++i) {
        const EnvironmentValue& value = scope.variables[i];
        if (value.error == ERROR_FILE_NOT_FOUND)
            continue;
        out.add(L"    ").add(kSuiteVariables[i].name).pad_to(22);
        if (value.error != ERROR_SUCCESS)
            out.add(L"(unreadable, error ").add_number(value.error).add(L")\n");
        else if (value.type != REG_SZ && value.type != REG_EXPAND_SZ)
            out.add(L"(")
                .add(registry_type_name(value.type, type))
                .add(L", ")
                .add_number(static_cast<long>(value.bytes))
                .add(L" bytes)\n");
        else
            out.add(value.text).add(L"  (").add(registry_type_name(value.type, type)).add(L")\n");
    }
    if (set == kSuiteVariableCount)
        return;
    out.add(L"    (not set): ");
    bool first = true;
    for (int i = 0; i < kSuiteVariableCount; ++i) {
        if (scope.variables[i].error != ERROR_FILE_NOT_FOUND)
            continue;
        out.add(first ? L"" : L", ").add(kSuiteVariables[i].name);
        first = false;
    }
    out.add(L"\n");
}

} // namespace

void read_scope_registration(Scope which, const wchar_t* folder_name, const wchar_t* main_shortcut,
                             ScopeRegistration* scope)
{
    wchar_t path[MAX_PATH + 1];
    scope->scope = which;
    scope->folder[0] = L'\0';
    scope->folder_exists = false;
    scope->shortcut_count = 0;
    for (int i = 0; i < kSuiteVariableCount; ++i)
        read_environment_value(which, kSuiteVariables[i].name, &scope->variables[i]);
    if (!scope_programs_folder(which, scope->programs))
        return;
    if (!folder_name[0]) {
        compose_path(scope->folder, MAX_PATH + 1, scope->programs, L"");
        scope->folder_exists = is_directory(scope->folder);
        if (main_shortcut && compose_path(path, MAX_PATH + 1, scope->programs, L"\\", main_shortcut) &&
            path_exists(path))
            add_shortcut(path, scope);
        return;
    }
    if (!compose_path(scope->folder, MAX_PATH + 1, scope->programs, L"\\", folder_name))
        return;
    scope->folder_exists = is_directory(scope->folder);
    if (scope->folder_exists)
        collect_shortcuts(scope->folder, scope);
}

void add_registration_listing(const ScopeRegistration& machine, const ScopeRegistration& user,
                              const wchar_t* folder_name, Text& out)
{
    out.add(L"Start menu\n");
    add_start_menu(machine, folder_name, out);
    add_start_menu(user, folder_name, out);
    out.add(L"Environment\n");
    add_environment(machine, out);
    add_environment(user, out);
}

void add_registration_json(const ScopeRegistration& scope, Text& out)
{
    wchar_t type[16];
    Text key;
    out.add(L"{\"scope\": ").add(scope.scope == kMachineScope ? L"\"machine\"" : L"\"user\"");
    out.add(L", \"programs_folder\": ").add_json(scope.programs);
    out.add(L", \"folder\": ").add_json(scope.folder).add(L", \"folder_exists\": ");
    out.add(scope.folder_exists ? L"true" : L"false").add(L", \"shortcuts\": [");
    for (int i = 0; i < scope.shortcut_count && i < kMaxShortcuts; ++i) {
        const ShortcutEntry& entry = scope.shortcuts[i];
        out.add(i ? L", " : L"").add(L"{\"path\": ").add_json(entry.path);
        if (FAILED(entry.info.status)) {
            out.add(L", \"error\": ").add_number(static_cast<long>(entry.info.status)).add(L"}");
            continue;
        }
        out.add(L", \"target\": ").add_json(entry.info.target);
        out.add(L", \"arguments\": ").add_json(entry.info.arguments);
        out.add(L", \"working_directory\": ").add_json(entry.info.working_directory);
        out.add(L", \"description\": ").add_json(entry.info.description);
        out.add(L", \"icon\": ").add_json(entry.info.icon_path);
        out.add(L", \"icon_index\": ").add_number(entry.info.icon_index);
        out.add(L", \"show_command\": ").add_number(entry.info.stored_show_command).add(L"}");
    }
    out.add(L"], \"environment_key\": ").add_json(add_environment_key_name(key, scope.scope).c_str());
    out.add(L", \"variables\": [");
    for (int i = 0; i < kSuiteVariableCount; ++i) {
        const EnvironmentValue& value = scope.variables[i];
        out.add(i ? L", " : L"").add(L"{\"name\": ").add_json(kSuiteVariables[i].name);
        out.add(L", \"set\": ").add(value.error == ERROR_SUCCESS ? L"true" : L"false");
        if (value.error == ERROR_SUCCESS) {
            out.add(L", \"value\": ").add_json(value.text);
            out.add(L", \"type\": ").add_json(registry_type_name(value.type, type));
        } else if (value.error != ERROR_FILE_NOT_FOUND) {
            out.add(L", \"error\": ").add_number(value.error);
        }
        out.add(L"}");
    }
    out.add(L"]}");
}
