#include "register_environment.h"

#include "diagnostics/step_log.h"
#include "suite/registration.h"

#include "setupkit/environment.h"
#include "setupkit/language.h"
#include "setupkit/strings.h"

#include <windows.h>

void register_environment(const wchar_t* install_root, Scope scope, StepLog& log)
{
    for (const SuiteVariable& variable : kSuiteVariables) {
        if (!written_by_postinstall(variable))
            continue;
        wchar_t* value = nullptr;
        if (variable.source == VariableValue::kFixed) {
            value = concat_strings(1, variable.value);
        } else if (variable.source == VariableValue::kLanguageBelowRoot) {
            // A settings file without a value sizes the code at 0: the buffer still holds the empty code.
            const int code_size = resolve_language_code(install_root, nullptr, 0);
            wchar_t* code = new wchar_t[code_size > 0 ? code_size : 1];
            code[0] = L'\0';
            resolve_language_code(install_root, &code, code_size);
            value = concat_strings(3, install_root, variable.value, code);
            free_string(&code);
        } else {
            value = concat_strings(2, install_root, variable.value);
        }
        set_environment_variable(variable.name, value, REG_SZ, scope);
        log.variable_set(variable.name, value, scope);
        free_string(&value);
    }
}
