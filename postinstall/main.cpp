#include "register_environment.h"

#include "step_log.h"

#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/shortcuts.h"
#include "setupkit/strings.h"

#include <windows.h>

namespace {

const wchar_t kLauncherBelowRoot[] = L"\\Framework\\bin\\";
const wchar_t kLauncherPlatform[] = L"Win64\\";
const wchar_t kLauncherFile[] = L"runfen2.exe";
const wchar_t kShortcutName[] = L"Fenwright";
const wchar_t kShortcutDescription[] = L"Start VELMORA Fenwright";
// Left for the shell to expand when the shortcut is started, in the user who starts it.
const wchar_t kShortcutWorkingDirectory[] = L"%HOMEDRIVE%%HOMEPATH%";

} // namespace

// Registers the installed release with the desktop: the main shortcut in the install scope's start
// menu, then the environment. Reads one argument only, "/log=<path>", which logs each step; every
// step is tried whatever became of the last; 0.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR command_line, int)
{
    StepLog log(command_line, L"postinstall");
    wchar_t* install_root = nullptr;
    wchar_t* folder_name = nullptr;
    wchar_t* folder = nullptr;
    wchar_t* launcher_directory = nullptr;

    const int root_size = get_install_root(nullptr, 0);
    install_root = new wchar_t[root_size];
    get_install_root(install_root, root_size);

    const int name_size = read_start_menu_folder_name(nullptr);
    folder_name = new wchar_t[name_size];
    folder_name[0] = L'\0';
    read_start_menu_folder_name(&folder_name);

    folder = concat_strings(3, L"\\", folder_name, L"\\");
    launcher_directory = concat_strings(3, install_root, kLauncherBelowRoot, kLauncherPlatform);
    log.inputs(folder_name);

    create_start_menu_shortcut_global(launcher_directory, kLauncherFile, L"", L"", kShortcutWorkingDirectory, folder,
                                      kShortcutName, kShortcutDescription, SW_SHOWNORMAL);
    if (log.active()) {
        wchar_t* target = concat_strings(2, launcher_directory, kLauncherFile);
        log.shortcut_created(folder, kShortcutName, target);
        free_string(&target);
    }

    register_environment(install_root, log);

    free_string(&launcher_directory);
    free_string(&folder);
    free_string(&folder_name);
    free_string(&install_root);
    return 0;
}

// The runtime starts the narrow GUI entry; the main routine takes the wide command line.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return wWinMain(instance, nullptr, GetCommandLineW(), show_command);
}
