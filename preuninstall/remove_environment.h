// The environment step of the uninstall cleaner.
#pragma once

class StepLog;

// Deletes the suite's variables of this release in the install scope (evaluated once); an
// administrator's run also removes user-scope copies. TALVO_ROOT182, P_SCHEMA and VOSKEL_LIBDIR182
// go only where their value still lies in this install root (each scope's value judged on its own);
// the add-on variables go whatever they hold. Each deletion is logged. Always 0.
int remove_environment(StepLog& log);
