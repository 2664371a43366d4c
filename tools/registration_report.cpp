// Prints what the suite has registered, for a person reading the demonstration: the start menu and
// the environment, each in both scopes, read back with the plain shell and registry API rather than
// through the library, in the listing setupcheck prints. Console program; UTF-8 output.
//   registration_report.exe START_MENU_FOLDER_NAME
#include "diagnostics/registration_listing.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 || argv[1][0] == L'\0') {
        fputs("usage: registration_report START_MENU_FOLDER_NAME\n", stderr);
        return 2;
    }
    ScopeRegistration* scopes = new ScopeRegistration[2];
    read_scope_registration(kMachineScope, argv[1], nullptr, &scopes[0]);
    read_scope_registration(kUserScope, argv[1], nullptr, &scopes[1]);
    Text listing;
    add_registration_listing(scopes[0], scopes[1], argv[1], listing);
    listing.write_utf8(GetStdHandle(STD_OUTPUT_HANDLE));
    delete[] scopes;
    return 0;
}
