// Where the tests write outside their own temporary folders: the build tree, a drive of their own
// and the sample installers' trees; and whether they may change this machine's registration.
#pragma once

#include "setupkit/scope.h"

#include <string>

namespace testsupport {

// The running test program's directory in the build tree, with a trailing backslash.
std::wstring own_directory();

// A drive whose root the tests may fill, as "X:": the one SETUPKIT_TEST_DRIVE names (the Wine
// runner's D:), else a free letter that this process maps to a temporary folder of its own while it
// runs (docs/building.md says why). Throws std::runtime_error when none can be mapped.
const std::wstring& test_drive();

// Where the sample installers put the suite in the scope, without a trailing backslash.
std::wstring sample_install_root(Scope scope);

// SETUPKIT_TESTS_MAY_CHANGE_THIS_MACHINE=1: set by the Wine runner for its private prefix, and on
// purpose on a disposable Windows machine.
bool this_machine_may_change();

} // namespace testsupport

// First in a test or its fixture's SetUp: a test that would change `what_it_changes` on a machine
// that did not opt in skips, saying why; its fixture's TearDown then cleans nothing up either.
#define SKIP_UNLESS_THIS_MACHINE_MAY_CHANGE(what_it_changes)                                                     \
    if (!testsupport::this_machine_may_change())                                                                 \
    GTEST_SKIP() << "changes " << what_it_changes                                                               \
                 << "; set SETUPKIT_TESTS_MAY_CHANGE_THIS_MACHINE=1 to allow it, on a disposable machine only"
