#include "remove_environment.h"

#include "step_log.h"

#include "setupkit/environment.h"
#include "setupkit/scope.h"
#include "setupkit/strings.h"

int remove_environment(StepLog& log)
{
    const int scope = is_user_admin();

    wchar_t* name = concat_strings(2, L"TALVO_ROOT", L"182");
    delete_environment_variable(name, scope);
    log.variable_deleted(name, scope);
    free_string(&name);

    name = concat_strings(3, L"CORVANE", L"182", L"_DIR");
    delete_environment_variable(name, scope);
    log.variable_deleted(name, scope);
    free_string(&name);

    delete_environment_variable(L"P_SCHEMA", scope);
    log.variable_deleted(L"P_SCHEMA", scope);

    name = concat_strings(2, L"VOSKEL_DOCDIR", L"182");
    delete_environment_variable(name, scope);
    log.variable_deleted(name, scope);
    free_string(&name);

    name = concat_strings(2, L"VOSKEL_LIBDIR", L"182");
    delete_environment_variable(name, scope);
    log.variable_deleted(name, scope);
    free_string(&name);

    // VELMORA_SYSDIR32 is shared by all releases and stays.
    return 0;
}
