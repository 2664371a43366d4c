#include "remove_environment.h"

#include "step_log.h"

#include "setupkit/environment.h"
#include "setupkit/paths.h"
#include "setupkit/scope.h"
#include "setupkit/strings.h"

int remove_environment(StepLog& log)
{
    const int scope = is_user_admin();
    // The variables postinstall derives from the install root go only while they still point into
    // it: another installation (of this release elsewhere, or P_SCHEMA of any release) keeps its own.
    const int root_size = get_install_root(nullptr, 0);
    wchar_t* install_root = new wchar_t[root_size];
    get_install_root(install_root, root_size);

    wchar_t* name = concat_strings(2, L"TALVO_ROOT", L"182");
    delete_environment_variable_within(name, install_root, scope);
    log.variable_deleted(name, scope, install_root);
    free_string(&name);

    name = concat_strings(3, L"CORVANE", L"182", L"_DIR");
    delete_environment_variable(name, scope);
    log.variable_deleted(name, scope);
    free_string(&name);

    delete_environment_variable_within(L"P_SCHEMA", install_root, scope);
    log.variable_deleted(L"P_SCHEMA", scope, install_root);

    name = concat_strings(2, L"VOSKEL_DOCDIR", L"182");
    delete_environment_variable(name, scope);
    log.variable_deleted(name, scope);
    free_string(&name);

    name = concat_strings(2, L"VOSKEL_LIBDIR", L"182");
    delete_environment_variable_within(name, install_root, scope);
    log.variable_deleted(name, scope, install_root);
    free_string(&name);
    free_string(&install_root);

    // VELMORA_SYSDIR32 is shared by all releases and stays.
    return 0;
}
