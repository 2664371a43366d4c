#include "register_environment.h"

#include "setupkit/paths.h"
#include "setupkit/strings.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    const int root_size = get_install_root(nullptr, 0);
    wchar_t* install_root = new wchar_t[root_size];
    install_root[0] = L'\0';
    get_install_root(install_root, root_size);

    register_environment(install_root);

    free_string(&install_root);
    return 0;
}

// The runtime starts the narrow GUI entry; the main routine takes the wide command line.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return wWinMain(instance, nullptr, GetCommandLineW(), show_command);
}
