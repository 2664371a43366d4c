// preuninstall: run by the uninstaller before the release's files are removed. Deletes the suite's
// start-menu shortcuts and environment variables and removes the start-menu folders left empty.
// Silent; every step is attempted whatever became of the others; the exit status is always 0. The
// one argument read, "/log=<path>", logs each step.
#include "remove_environment.h"

#include "step_log.h"

#include "setupkit/release_info.h"
#include "setupkit/shortcuts.h"
#include "setupkit/strings.h"

#include <windows.h>

namespace {

void delete_shortcut(const wchar_t* folder, const wchar_t* name, StepLog& log)
{
    delete_start_menu_shortcut_global(folder, name);
    log.shortcut_deleted(folder, name);
}

void remove_folder(const wchar_t* relative_path, StepLog& log)
{
    remove_start_menu_folder(relative_path);
    log.folder_removed(relative_path);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR command_line, int)
{
    StepLog log(command_line, L"preuninstall");
    const int folder_name_size = read_start_menu_folder_name(nullptr);
    wchar_t* folder_name = new wchar_t[folder_name_size];
    read_start_menu_folder_name(&folder_name);
    log.inputs(folder_name);

    wchar_t* main_folder = concat_strings(3, L"\\", folder_name, L"\\");
    delete_shortcut(main_folder, L"Fenwright", log);

    wchar_t* tessal_folder = concat_strings(2, main_folder, L"TESSAL\\");
    delete_shortcut(tessal_folder, L"TESSAL Desktop", log);
    delete_shortcut(tessal_folder, L"TESSAL Studio", log);
    delete_shortcut(tessal_folder, L"Server Upgrade", log);
    delete_shortcut(tessal_folder, L"Server Diagnostics", log);

    wchar_t* corvane_folder = concat_strings(2, main_folder, L"CORVANE\\");
    delete_shortcut(corvane_folder, L"CORVANE", log);
    delete_shortcut(corvane_folder, L"CORVANE Documentation", log);
    delete_shortcut(corvane_folder, L"CORVANE Examples", log);
    delete_shortcut(corvane_folder, L"Uninstall CORVANE", log);

    remove_environment(log);

    // Without a folder name the add-on steps would test Programs\TESSAL and Programs\CORVANE, which
    // are other products' folders (the last step refuses the Programs folder itself on its own).
    if (folder_name[0] != L'\0') {
        remove_folder(tessal_folder, log);
        remove_folder(corvane_folder, log);
        remove_programs_subfolder(folder_name);
        log.folder_removed(main_folder);
    }

    free_string(&corvane_folder);
    free_string(&tessal_folder);
    free_string(&main_folder);
    free_string(&folder_name);
    return 0;
}

// The runtime starts the narrow GUI entry; the main routine takes the wide command line.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return wWinMain(instance, nullptr, GetCommandLineW(), show_command);
}
