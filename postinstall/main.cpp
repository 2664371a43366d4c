#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return 0;
}

// The runtime starts the narrow GUI entry; the main routine takes the wide command line.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    return wWinMain(instance, nullptr, GetCommandLineW(), show_command);
}
