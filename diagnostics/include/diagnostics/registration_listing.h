// The suite's registration in one scope read back with the plain interfaces: its start-menu folder
// with every shortcut in it and the suite's variables in the scope's environment key; and its listing.
#pragma once

#include "diagnostics/readback.h"

#include "suite/registration.h"

constexpr int kMaxShortcuts = 32;

struct ShortcutEntry {
    wchar_t path[MAX_PATH + 1];
    ShortcutInfo info;
};

struct ScopeRegistration {
    Scope scope;
    wchar_t programs[kProgramsFolderChars]; // "" when the shell has none
    wchar_t folder[MAX_PATH + 1];   // programs + "\" + folder name
    bool folder_exists;
    int shortcut_count; // found; only the first kMaxShortcuts are kept
    ShortcutEntry shortcuts[kMaxShortcuts];
    EnvironmentValue variables[kSuiteVariableCount]; // as kSuiteVariables
};

// Reads the registration of the suite's folder `folder_name` in one scope: every .lnk below the
// folder, sub-folders included. With an empty folder name the folder is the Programs folder itself
// and only `main_shortcut` (a file name) in it is looked at.
void read_scope_registration(Scope which, const wchar_t* folder_name, const wchar_t* main_shortcut,
                             ScopeRegistration* scope);

// The "Start menu" and "Environment" sections for both scopes, lines ended with "\n".
void add_registration_listing(const ScopeRegistration& machine, const ScopeRegistration& user,
                              const wchar_t* folder_name, Text& out);

// One scope as a JSON object: its Programs folder, the suite's folder, shortcuts and variables.
void add_registration_json(const ScopeRegistration& scope, Text& out);
