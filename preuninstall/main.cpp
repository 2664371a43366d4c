// preuninstall: run by the uninstaller before the release's files are removed. Deletes the suite's
// start-menu shortcuts and environment variables and removes the start-menu folders left empty.
// Silent; every step is attempted whatever became of the others; the exit status is always 0. The
// one argument read, "/log=<path>", logs each step.
#include "remove_environment.h"

#include "diagnostics/step_log.h"
#include "suite/registration.h"

#include "setupkit/dll_search.h"
#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/scope.h"
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
    const Scope scope = install_scope();
    const int root_size = get_install_root(nullptr, 0);
    wchar_t* install_root = new wchar_t[root_size];
    get_install_root(install_root, root_size);
    const int folder_name_size = read_start_menu_folder_name(nullptr);
    wchar_t* folder_name = new wchar_t[folder_name_size];
    read_start_menu_folder_name(&folder_name);
    log.inputs(install_root, folder_name, scope);

    wchar_t* main_folder = concat_strings(3, L"\\", folder_name, L"\\");
    for (const RemovedShortcut& shortcut : kRemovedShortcuts) {
        wchar_t* folder = relative_folder(main_folder, shortcut.add_on_folder);
        delete_start_menu_shortcut_global(folder, shortcut.name);
        log.shortcut_deleted(folder, shortcut.name);
        free_string(&folder);
    }

    remove_environment(install_root, scope, log);

    // Without a folder name the add-on steps would test Programs\TESSAL and Programs\CORVANE, which
    // are other products' folders (the last step refuses the Programs folder itself on its own).
    if (folder_name[0] != L'\0') {
        for (const wchar_t* add_on_folder : kAddOnFolders) {
            wchar_t* folder = relative_folder(main_folder, add_on_folder);
            remove_start_menu_folder(folder);
            log.folder_removed(folder);
            free_string(&folder);
        }
        remove_programs_subfolder(folder_name);
        log.folder_removed(main_folder);
    }

    free_string(&main_folder);
    free_string(&folder_name);
    free_string(&install_root);
    return 0;
}

// The runtime starts the narrow GUI entry; the main routine takes the wide command line.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return wWinMain(instance, nullptr, GetCommandLineW(), show_command);
}
