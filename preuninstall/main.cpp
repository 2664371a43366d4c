// preuninstall: run by the uninstaller before the release's files are removed. Deletes the suite's
// start-menu shortcuts and environment variables and removes the start-menu folders left empty.
// Silent; every step is attempted whatever became of the others; the exit status is always 0.
#include "remove_environment.h"

#include "setupkit/release_info.h"
#include "setupkit/shortcuts.h"
#include "setupkit/strings.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    const int folder_name_size = read_start_menu_folder_name(nullptr);
    wchar_t* folder_name = new wchar_t[folder_name_size];
    read_start_menu_folder_name(&folder_name);

    wchar_t* main_folder = concat_strings(3, L"\\", folder_name, L"\\");
    delete_start_menu_shortcut_global(main_folder, L"Fenwright");

    wchar_t* tessal_folder = concat_strings(2, main_folder, L"TESSAL\\");
    delete_start_menu_shortcut_global(tessal_folder, L"TESSAL Desktop");
    delete_start_menu_shortcut_global(tessal_folder, L"TESSAL Studio");
    delete_start_menu_shortcut_global(tessal_folder, L"Server Upgrade");
    delete_start_menu_shortcut_global(tessal_folder, L"Server Diagnostics");

    wchar_t* corvane_folder = concat_strings(2, main_folder, L"CORVANE\\");
    delete_start_menu_shortcut_global(corvane_folder, L"CORVANE");
    delete_start_menu_shortcut_global(corvane_folder, L"CORVANE Documentation");
    delete_start_menu_shortcut_global(corvane_folder, L"CORVANE Examples");
    delete_start_menu_shortcut_global(corvane_folder, L"Uninstall CORVANE");

    remove_environment();

    // Without a folder name the add-on steps would test Programs\TESSAL and Programs\CORVANE, which
    // are other products' folders (the last step refuses the Programs folder itself on its own).
    if (folder_name[0] != L'\0') {
        remove_start_menu_folder(tessal_folder);
        remove_start_menu_folder(corvane_folder);
        remove_programs_subfolder(folder_name);
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
