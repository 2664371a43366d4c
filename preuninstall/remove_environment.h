// The environment step of the uninstall cleaner.
#pragma once

class StepLog;

// Deletes the suite's variables of this release in the install scope (evaluated once); an
// administrator's run also removes user-scope copies. Each deletion is logged. Always 0.
int remove_environment(StepLog& log);
