#include "remove_environment.h"

#include "diagnostics/step_log.h"
#include "suite/registration.h"

#include "setupkit/environment.h"

void remove_environment(const wchar_t* install_root, Scope scope, StepLog& log)
{
    for (int step = 1; step <= kSuiteVariableCount; ++step) {
        for (const SuiteVariable& variable : kSuiteVariables) {
            if (variable.deletion_step != step)
                continue;
            // Another installation (of this release elsewhere, or P_SCHEMA of any release) keeps its own.
            if (variable.deletion == Deletion::kWithinRoot) {
                delete_environment_variable_within(variable.name, install_root, scope);
                log.variable_deleted(variable.name, scope, install_root);
            } else if (variable.deletion == Deletion::kAlways) {
                delete_environment_variable(variable.name, scope);
                log.variable_deleted(variable.name, scope);
            }
        }
    }
}
