// The environment step of the uninstall cleaner.
#pragma once

#include "setupkit/scope.h"

class StepLog;

// Deletes the suite's variables of this release that preuninstall owns, in their deletion order, in
// `scope`; an administrator's run also removes user-scope copies. Those derived from the install
// root go only where their value still lies in `install_root` (each scope's value judged on its own);
// the add-on variables go whatever they hold; the shared one stays. Each deletion is logged.
void remove_environment(const wchar_t* install_root, Scope scope, StepLog& log);
