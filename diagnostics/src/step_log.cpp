#include "diagnostics/step_log.h"

#include "diagnostics/readback.h"
#include "diagnostics/version.h"

#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/shortcuts.h"
#include "setupkit/strings.h"

#include <shellapi.h>

#include <cwchar>

namespace {

const wchar_t kLogOption[] = L"/log=";
constexpr size_t kLogOptionChars = 5;
constexpr DWORD kTextChars = 512;

// The path of "/log=<path>" when that is the only argument, else null. Release with LocalFree(arguments).
const wchar_t* log_path(const wchar_t* command_line, wchar_t*** arguments)
{
    int count = 0;
    *arguments = CommandLineToArgvW(command_line, &count);
    if (!*arguments || count != 2 || _wcsnicmp((*arguments)[1], kLogOption, kLogOptionChars) != 0 ||
        (*arguments)[1][kLogOptionChars] == L'\0')
        return nullptr;
    return (*arguments)[1] + kLogOptionChars;
}

const wchar_t* token_elevation()
{
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD bytes = 0;
    const wchar_t* answer = L"unknown";
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &bytes))
            answer = elevation.TokenIsElevated ? L"yes" : L"no";
        CloseHandle(token);
    }
    return answer;
}

// Why the start-menu operations refuse the shortcut at `path`, by the rules they apply in their
// order (the names' text first, then the special folders), or null.
const wchar_t* shortcut_refusal(const wchar_t* programs, const wchar_t* folder, const wchar_t* name,
                                const wchar_t* suffix, const wchar_t* path)
{
    const wchar_t* refusal = start_menu_shortcut_refusal(programs, folder, name, suffix);
    return refusal ? refusal : special_folder_refusal(programs, path, false);
}

} // namespace

StepLog::StepLog(const wchar_t* command_line, const wchar_t* program) : program_(program)
{
    wchar_t** arguments = nullptr;
    wchar_t text[kTextChars];
    DWORD chars = kTextChars;
    const wchar_t* path = log_path(command_line, &arguments);
    if (path)
        file_ = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (arguments)
        LocalFree(arguments);
    if (!active())
        return;

    begin(L"start");
    line_.add(L"version ").add(SETUPKIT_VERSION).add(L", program \"");
    text[0] = L'\0';
    GetModuleFileNameW(nullptr, text, kTextChars);
    text[kTextChars - 1] = L'\0';
    line_.add(text).add(L"\", user ");
    if (!GetUserNameW(text, &chars))
        text[0] = L'\0';
    line_.add(text).add(L", elevated ").add(token_elevation());
    end_line();
}

StepLog::~StepLog()
{
    if (active()) {
        begin(L"end");
        line_.add(L"exit status 0");
        end_line();
        CloseHandle(file_);
    }
    free_string(&suffix_);
    free_string(&programs_);
}

void StepLog::begin(const wchar_t* step)
{
    SYSTEMTIME now;
    wchar_t stamp[32];
    GetLocalTime(&now);
    wsprintfW(stamp, L"%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
              now.wSecond, now.wMilliseconds);
    line_.clear();
    line_.add(stamp).add(program_).add(L" ").add(step).add(L": ");
}

// A line that cannot be written is dropped; the program goes on as without a log.
void StepLog::end_line()
{
    line_.add(L"\r\n");
    line_.write_utf8(file_);
}

void StepLog::add_error(DWORD code)
{
    wchar_t text[kTextChars];
    error_text(code, text, kTextChars);
    line_.add(L" (").add(text).add(L")");
}

void StepLog::inputs(const wchar_t* install_root, const wchar_t* folder_name, Scope scope)
{
    if (!active())
        return;
    wchar_t programs[kProgramsFolderChars] = L"";
    free_string(&suffix_);
    free_string(&programs_);
    suffix_ = new wchar_t[read_global_revision_suffix(nullptr)];
    suffix_[0] = L'\0';
    read_global_revision_suffix(&suffix_);
    scope_programs_folder(scope, programs);
    programs_ = concat_strings(1, programs);
    begin(L"inputs");
    line_.add(L"install root \"").add(install_root).add(L"\", start-menu folder \"").add(folder_name);
    line_.add(L"\", revision suffix \"").add(suffix_).add(L"\"");
    end_line();
    begin(L"scope");
    line_.add(scope == kMachineScope
                  ? L"machine (all users): the token passes the check for BUILTIN\\Administrators"
                  : L"user (this user only): the token does not pass the check for BUILTIN\\Administrators");
    end_line();
}

void StepLog::shortcut_created(const wchar_t* relative_folder, const wchar_t* name, const wchar_t* target)
{
    if (!active())
        return;
    wchar_t* path = compose_start_menu_link_path(programs_, relative_folder, name, suffix_);
    const wchar_t* refusal = shortcut_refusal(programs_, relative_folder, name, suffix_, path);
    begin(L"shortcut created");
    line_.add(path).add(L" -> ").add(target).add(L": ");
    ShortcutInfo shortcut;
    if (refusal) {
        line_.add(L"refused, ").add(refusal);
    } else if (!path_exists(path)) {
        line_.add(L"FAILED, the file does not exist");
        add_error(GetLastError());
    } else {
        read_shortcut_info(path, &shortcut);
        if (FAILED(shortcut.status)) {
            line_.add(L"FAILED, the file cannot be read as a shortcut");
            add_error(static_cast<DWORD>(shortcut.status));
        } else if (!same_target(shortcut.target, target)) {
            line_.add(L"FAILED, it starts \"").add(shortcut.target).add(L"\"");
        } else {
            line_.add(L"ok, the file exists and starts that target");
        }
    }
    free_string(&path);
    end_line();
}

void StepLog::shortcut_deleted(const wchar_t* relative_folder, const wchar_t* name)
{
    if (!active())
        return;
    wchar_t* path = compose_start_menu_link_path(programs_, relative_folder, name, suffix_);
    const wchar_t* refusal = shortcut_refusal(programs_, relative_folder, name, suffix_, path);
    begin(L"shortcut deleted");
    line_.add(path);
    if (refusal)
        line_.add(L": refused, ").add(refusal);
    else
        line_.add(path_exists(path) ? L": FAILED, the file still exists" : L": ok, gone");
    free_string(&path);
    end_line();
}

void StepLog::folder_removed(const wchar_t* relative_folder)
{
    if (!active())
        return;
    wchar_t* folder = concat_strings(2, programs_, relative_folder);
    const wchar_t* refusal = start_menu_folder_refusal(programs_, relative_folder);
    if (!refusal)
        refusal = special_folder_refusal(programs_, folder, true);
    begin(L"folder removed");
    line_.add(folder, wcslen(folder) - 1);
    const int items = refusal ? 0 : folder_item_count(folder);
    if (refusal)
        line_.add(L": refused, ").add(refusal);
    else if (items < 0)
        line_.add(L": ok, gone");
    else if (items == 0)
        line_.add(L": FAILED, the folder is empty and still exists");
    else
        line_.add(L": ok, kept, it holds ").add_number(items).add(items == 1 ? L" item" : L" items");
    free_string(&folder);
    end_line();
}

void StepLog::variable_set(const wchar_t* name, const wchar_t* value, Scope scope)
{
    if (!active())
        return;
    EnvironmentValue stored;
    wchar_t type[16];
    read_environment_value(scope, name, &stored);
    begin(L"variable set");
    line_.add(name).add(L" = \"").add(value).add(L"\" in ");
    add_environment_key_name(line_, scope).add(L": ");
    if (stored.error != ERROR_SUCCESS) {
        line_.add(stored.error == ERROR_FILE_NOT_FOUND ? L"FAILED, not in the key" : L"FAILED, cannot read it back");
        add_error(static_cast<DWORD>(stored.error));
    } else if (wcscmp(stored.text, value) != 0) {
        line_.add(L"FAILED, it holds \"").add(stored.text).add(L"\"");
    } else {
        line_.add(L"ok, it holds that value (").add(registry_type_name(stored.type, type)).add(L")");
    }
    end_line();
}

void StepLog::variable_deleted(const wchar_t* name, Scope scope, const wchar_t* root)
{
    if (!active())
        return;
    begin(L"variable deleted");
    add_environment_key_name(line_.add(name).add(L" from "), scope);
    if (scope == kMachineScope)
        add_environment_key_name(line_.add(L" and "), kUserScope);
    bool failed = false;
    bool reported = false;
    // A machine-scope deletion goes for the user's copy too.
    const Scope keys[] = {kMachineScope, kUserScope};
    for (const Scope key : keys) {
        if (key == kMachineScope && scope != kMachineScope)
            continue;
        EnvironmentValue stored;
        read_environment_value(key, name, &stored);
        if (stored.error == ERROR_FILE_NOT_FOUND)
            continue;
        line_.add(reported ? L"; " : L": ");
        reported = true;
        if (stored.error == ERROR_SUCCESS && root && !path_lies_within(stored.text, root)) {
            add_environment_key_name(line_.add(L"kept in "), key).add(L", another installation's \"");
            line_.add(stored.text).add(L"\"");
            continue;
        }
        if (!failed)
            line_.add(L"FAILED, ");
        failed = true;
        if (stored.error == ERROR_SUCCESS)
            add_environment_key_name(line_.add(L"still in "), key).add(L" as \"").add(stored.text).add(L"\"");
        else {
            add_environment_key_name(line_.add(L"cannot read "), key);
            add_error(static_cast<DWORD>(stored.error));
        }
    }
    if (!reported)
        line_.add(L": ok, gone");
    end_line();
}
