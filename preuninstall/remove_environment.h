// The environment step of the uninstall cleaner.
#pragma once

// Deletes the suite's variables of this release in the install scope (evaluated once); an
// administrator's run also removes user-scope copies. Always 0.
int remove_environment();
