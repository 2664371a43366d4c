// preuninstall: run by the uninstaller before the release's files are removed. Deletes the suite's
// start-menu shortcuts and environment variables and removes the start-menu folders left empty.
// Silent; every step is attempted whatever became of the others; the exit status is always 0. The
// one argument read, "/log=<path>", logs each step.
#include "remove_environment.h"

#include "diagnostics/step_log.h"
#include "suite/program_inputs.h"
#include "suite/registration.h"

#include "setupkit/dll_search.h"
#include "setupkit/shortcuts.h"
#include "setupkit/strings.h"

#include <windows.h>

namespace {

// "\<folder name>\" or "\<folder name>\<add-on folder>\", as the start-menu operations take a folder.
wchar_t* relative_folder(const wchar_t* main_folder, const wchar_t* add_on_folder)
{
    return add_on_folder ? concat_strings(3, main_folder, add_on_folder, L"\\") : concat_strings(1, main_folder);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR command_line, int)
{
    restrict_dll_search();
    StepLog log(command_line, L"preuninstall");
    ProgramInputs inputs;
    read_program_inputs(&inputs);
    log.inputs(inputs.install_root, inputs.folder_name, inputs.scope);

    for (const RemovedShortcut& shortcut : kRemovedShortcuts) {
        wchar_t* folder = relative_folder(inputs.folder, shortcut.add_on_folder);
        delete_start_menu_shortcut_global(folder, shortcut.name);
        log.shortcut_deleted(folder, shortcut.name);
        free_string(&folder);
    }

    remove_environment(inputs.install_root, inputs.scope, log);

    // Without a folder name the add-on steps would test Programs\TESSAL and Programs\CORVANE, which
    // are other products' folders (the last step refuses the Programs folder itself on its own).
    if (inputs.folder_name[0] != L'\0') {
        for (const wchar_t* add_on_folder : kAddOnFolders) {
            wchar_t* folder = relative_folder(inputs.folder, add_on_folder);
            remove_start_menu_folder(folder);
            log.folder_removed(folder);
            free_string(&folder);
        }
        remove_programs_subfolder(inputs.folder_name);
        log.folder_removed(inputs.folder);
    }

    free_program_inputs(&inputs);
    return 0;
}

// The runtime starts the narrow GUI entry; the main routine takes the wide command line.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return wWinMain(instance, nullptr, GetCommandLineW(), show_command);
}
