#include "register_environment.h"

#include "step_log.h"

#include "setupkit/environment.h"
#include "setupkit/language.h"
#include "setupkit/scope.h"
#include "setupkit/strings.h"

#include <windows.h>

namespace {

const wchar_t kReleaseTag[] = L"182";
const wchar_t kSchemaFolder[] = L"\\ORVANE\\CADIntegration\\Parasolid\\PSchema";
const wchar_t kLanguageFolder[] = L"\\CommonFiles\\Language\\";
const wchar_t kPlatformFolderName[] = L"win32";

} // namespace

int register_environment(const wchar_t* install_root, StepLog& log)
{
    const int scope = is_user_admin();

    wchar_t* name = concat_strings(2, L"TALVO_ROOT", kReleaseTag);
    set_environment_variable(name, install_root, REG_SZ, scope);
    log.variable_set(name, install_root, scope);
    free_string(&name);

    wchar_t* value = concat_strings(2, install_root, kSchemaFolder);
    set_environment_variable(L"P_SCHEMA", value, REG_SZ, scope);
    log.variable_set(L"P_SCHEMA", value, scope);
    free_string(&value);

    // A settings file without a value sizes the code at 0: the buffer still holds the empty code.
    const int code_size = resolve_language_code(install_root, nullptr, 0);
    wchar_t* code = new wchar_t[code_size > 0 ? code_size : 1];
    code[0] = L'\0';
    resolve_language_code(install_root, &code, code_size);
    name = concat_strings(2, L"VOSKEL_LIBDIR", kReleaseTag);
    value = concat_strings(3, install_root, kLanguageFolder, code);
    set_environment_variable(name, value, REG_SZ, scope);
    log.variable_set(name, value, scope);
    free_string(&value);
    free_string(&name);
    free_string(&code);

    value = concat_strings(1, kPlatformFolderName);
    set_environment_variable(L"VELMORA_SYSDIR32", value, REG_SZ, scope);
    log.variable_set(L"VELMORA_SYSDIR32", value, scope);
    free_string(&value);
    return 0;
}
