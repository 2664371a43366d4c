// What this release registers on the desktop, as data: the main shortcut, the shortcuts and add-on
// folders the uninstall cleaner removes, the environment variables with who writes and who deletes
// each, and the paths below the install root. postinstall and preuninstall take their steps from it
// (each in its own order), the step log reports those steps, setupcheck checks a tree against it.
// The tests keep literal copies of their own: a change here shows there as a failure.
#pragma once

// The release-information file below the install root is the library's (kReleaseFileBelowRoot).
#include "setupkit/release_info.h"

#include <windows.h>

// The shortcut postinstall writes into the suite's start-menu folder, which starts the launcher.
struct MainShortcut {
    const wchar_t* launcher_directory; // below the install root, with both backslashes
    const wchar_t* launcher_file;
    const wchar_t* name;              // before the revision suffix
    const wchar_t* description;
    const wchar_t* working_directory; // left for the shell to expand when started, in the user who starts it
    int show_command;
};

inline constexpr wchar_t kMainShortcutName[] = L"Fenwright";
inline constexpr MainShortcut kMainShortcut = {
    L"\\Framework\\bin\\Win64\\", L"runfen2.exe", kMainShortcutName, L"Start VELMORA Fenwright",
    L"%HOMEDRIVE%%HOMEPATH%", SW_SHOWNORMAL,
};

// The add-on products' folders inside the suite's start-menu folder, in the order preuninstall
// removes them (before the suite's folder itself).
inline constexpr wchar_t kTessalFolder[] = L"TESSAL";
inline constexpr wchar_t kCorvaneFolder[] = L"CORVANE";
inline constexpr const wchar_t* kAddOnFolders[] = {kTessalFolder, kCorvaneFolder};

// A shortcut preuninstall deletes: in an add-on folder, or in the suite's folder (null).
struct RemovedShortcut {
    const wchar_t* add_on_folder;
    const wchar_t* name; // before the revision suffix
};

// In preuninstall's order.
inline constexpr RemovedShortcut kRemovedShortcuts[] = {
    {nullptr, kMainShortcutName},
    {kTessalFolder, L"TESSAL Desktop"},
    {kTessalFolder, L"TESSAL Studio"},
    {kTessalFolder, L"Server Upgrade"},
    {kTessalFolder, L"Server Diagnostics"},
    {kCorvaneFolder, L"CORVANE"},
    {kCorvaneFolder, L"CORVANE Documentation"},
    {kCorvaneFolder, L"CORVANE Examples"},
    {kCorvaneFolder, L"Uninstall CORVANE"},
};

// Where a variable's value comes from.
enum class VariableValue {
    kBelowRoot,         // the install root + `value` ("" for the root itself)
    kLanguageBelowRoot, // the install root + `value` + the resolved language code
    kFixed,             // `value` itself
    kAddOn,             // written by an add-on product's installer, not by postinstall: any path
};

// Which of a variable's values preuninstall deletes.
enum class Deletion {
    kNever,      // shared by every release
    kWithinRoot, // only while it lies in this install root: another installation keeps its own
    kAlways,     // whatever it holds
};

struct SuiteVariable {
    const wchar_t* name;
    VariableValue source;
    const wchar_t* value;
    Deletion deletion;
    int deletion_step; // preuninstall deletes in this order, from 1; 0 with Deletion::kNever
};

// postinstall writes the variables that are not the add-ons' in this order; setupcheck lists all.
inline constexpr SuiteVariable kSuiteVariables[] = {
    {L"TALVO_ROOT182", VariableValue::kBelowRoot, L"", Deletion::kWithinRoot, 1},
    {L"P_SCHEMA", VariableValue::kBelowRoot, L"\\ORVANE\\CADIntegration\\Parasolid\\PSchema", Deletion::kWithinRoot, 3},
    {L"VOSKEL_LIBDIR182", VariableValue::kLanguageBelowRoot, L"\\CommonFiles\\Language\\", Deletion::kWithinRoot, 5},
    {L"VELMORA_SYSDIR32", VariableValue::kFixed, L"win32", Deletion::kNever, 0},
    {L"CORVANE182_DIR", VariableValue::kAddOn, L"", Deletion::kAlways, 2},
    {L"VOSKEL_DOCDIR182", VariableValue::kAddOn, L"", Deletion::kAlways, 4},
};
inline constexpr int kSuiteVariableCount = sizeof(kSuiteVariables) / sizeof(kSuiteVariables[0]);

inline constexpr bool written_by_postinstall(const SuiteVariable& variable)
{
    return variable.source != VariableValue::kAddOn;
}

// A value derived from the install root: it tells which root the registration belongs to.
inline constexpr bool derived_from_root(const SuiteVariable& variable)
{
    return variable.source == VariableValue::kBelowRoot || variable.source == VariableValue::kLanguageBelowRoot;
}
