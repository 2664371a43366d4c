#include "register_environment.h"

#include "diagnostics/step_log.h"
#include "suite/program_inputs.h"
#include "suite/registration.h"

#include "setupkit/dll_search.h"
#include "setupkit/shortcuts.h"
#include "setupkit/strings.h"

#include <windows.h>

// Registers the installed release with the desktop: the main shortcut in the install scope's start
// menu, then the environment. Reads one argument only, "/log=<path>", which logs each step; every
// step is tried whatever became of the last; 0.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR command_line, int)
{
    restrict_dll_search();
    StepLog log(command_line, L"postinstall");
    ProgramInputs inputs;
    read_program_inputs(&inputs);
    wchar_t* launcher_directory = concat_strings(2, inputs.install_root, kMainShortcut.launcher_directory);
    log.inputs(inputs.install_root, inputs.folder_name, inputs.scope);

    create_start_menu_shortcut_global(launcher_directory, kMainShortcut.launcher_file, L"", L"",
                                      kMainShortcut.working_directory, inputs.folder, kMainShortcut.name,
                                      kMainShortcut.description, kMainShortcut.show_command);
    if (log.active()) {
        wchar_t* target = concat_strings(2, launcher_directory, kMainShortcut.launcher_file);
        log.shortcut_created(inputs.folder, kMainShortcut.name, target);
        free_string(&target);
    }

    register_environment(inputs.install_root, inputs.scope, log);

    free_string(&launcher_directory);
    free_program_inputs(&inputs);
    return 0;
}

// The runtime starts the narrow GUI entry; the main routine takes the wide command line.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return wWinMain(instance, nullptr, GetCommandLineW(), show_command);
}
