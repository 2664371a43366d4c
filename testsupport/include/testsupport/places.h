// Where the tests write outside their own temporary folders, in one place: the build tree beside
// the test programs, the drive that stands in for a disk of the installation's own, and the sample
// installers' install trees. The Start Menu folders and environment keys are the platform's own
// (shortcuts.h, registry.h); the tests that change them ask this_machine_may_change() first.
#pragma once

#include "setupkit/scope.h"

#include <string>

namespace testsupport {

// Full path of the running test program's directory in the build tree, with a trailing backslash.
std::wstring own_directory();

// A drive whose root the tests may fill, as "X:" (no backslash): the drive that the test runner names
// in SETUPKIT_TEST_DRIVE (the Wine runner's D:, a folder of the build tree), or else a free letter
// that this process maps to a new temporary folder of its own, unmapped and removed at exit. A
// mapping in this logon session's device names reaches the programs the tests start (their tokens
// share the session) and needs no administrator, where a fixed letter might name a real disk.
// Throws std::runtime_error when no letter can be mapped.
const std::wstring& test_drive();

// Where the sample installers put the suite: Program Files (x86) for the per-machine MSI, the
// user's local application data for the per-user NSIS installer. No trailing backslash.
std::wstring sample_install_root(Scope scope);

// True where a test may change this machine's registration (the machine's environment key, the
// all-users Start Menu, the sample installers, HKLM): SETUPKIT_TESTS_MAY_CHANGE_THIS_MACHINE=1, which
// the Wine runner sets for its private prefix and a disposable Windows machine sets on purpose.
bool this_machine_may_change();

} // namespace testsupport

// First in a test or its fixture's SetUp: skips, with one line that says why, a test that would
// change what `what_it_changes` names on a machine that did not opt in. A fixture's TearDown then
// checks IsSkipped() before it cleans up, since cleaning up is a change too.
#define SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE(what_it_changes)                                                     \
    if (!testsupport::this_machine_may_change())                                                                 \
    GTEST_SKIP() << "changes " << what_it_changes                                                               \
                 << "; set SETUPKIT_TESTS_MAY_CHANGE_THIS_MACHINE=1 to allow it, on a disposable machine only"
