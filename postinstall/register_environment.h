// The suite's environment variables, written by postinstall after the main shortcut.
#pragma once

#include "setupkit/scope.h"

class StepLog;

// Writes the suite's variables that postinstall owns (those not of the add-ons), in their order, as
// REG_SZ in `scope`: each a path below the install root, the language directory, or a fixed value.
// Each write is attempted whatever became of the others, and each is logged.
void register_environment(const wchar_t* install_root, Scope scope, StepLog& log);
