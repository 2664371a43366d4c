// The install scopes and the start menu's Programs folder of each, looked up on its own: setupcheck
// reads both scopes' folders and nothing else of the scope operations, so it links none of their
// imports.
#pragma once

// Where the suite registers: the machine (all users) or the current user only. The values are the
// scope numbers the environment operations take.
enum Scope : int { kUserScope = 0, kMachineScope = 1 };

constexpr unsigned int kProgramsFolderChars = 261;

// The scope's Programs folder (all users' or the user's) in `path` (kProgramsFolderChars
// characters), without creating it and without a trailing backslash; false and "" when the shell
// cannot supply it.
bool scope_programs_folder(Scope scope, wchar_t* path);
