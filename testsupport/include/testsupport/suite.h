// The suite as the programs meet it: its variables, an install tree laid out as the installer lays
// it out, and the clean-up of everything the programs may leave in the start menu and environment.
#pragma once

#include "testsupport/process.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

// From suite_variables.def, in its order: postinstall's four; the three it derives from the install
// root; the add-ons' two; all six; the one every release shares, which no uninstall removes.
extern const std::vector<const wchar_t*> kPostinstallVariables;
extern const std::vector<const wchar_t*> kRootVariables;
extern const std::vector<const wchar_t*> kAddOnVariables;
extern const std::vector<const wchar_t*> kSuiteVariables;
extern const wchar_t* const kSharedVariable;

// From suite_shortcuts.def, in preuninstall's order: the add-ons' shortcuts below the suite's
// start-menu folder ("TESSAL\\TESSAL Desktop"), before the revision suffix.
extern const std::vector<std::wstring> kAddOnShortcuts;

// Where the programs lie below the install root, with both backslashes.
extern const wchar_t kSetupBelowRoot[];

// A release-information file as the installer ships it (UTF-8), and that file written to
// <root>\commonfiles\globalsettings\relinfo.xml; false when it cannot be written.
std::string release_information(const std::string& folder_name_utf8, const std::string& revision);
bool write_release_information(const std::wstring& root, const std::string& folder_name_utf8,
                               const std::string& revision);

// Copies each built program (a file name beside the running test) to its place in the tree below
// `root`; false when one cannot be copied (GetLastError tells why).
bool place_programs(const std::wstring& root, std::initializer_list<const wchar_t*> programs);

// The quoted path of the program placed below `root`, followed by `arguments` as given.
std::wstring program_command(const std::wstring& root, const wchar_t* program, const std::wstring& arguments = L"");

// The Programs folder that a run as `as` registers in (the all-users one for an administrator).
std::wstring programs_folder(As as);

// Removes what the programs may leave: the named start-menu folders and a Fenwright shortcut straight
// in either Programs folder (a run without release information puts it there), and the six variables
// from both environment keys and this process's environment.
void forget_suite_registration(std::initializer_list<std::wstring> folder_names);

// The lines of a program's step log (UTF-8) without their time stamps ("2026-01-31 12:00:00.000 ").
std::vector<std::string> log_lines(const std::wstring& path);

} // namespace testsupport
