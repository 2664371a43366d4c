// What both programs read before their first step: the scope, the install root and the suite's
// start-menu folder, each read the same way for both.
#pragma once

#include "setupkit/scope.h"

struct ProgramInputs {
    Scope scope;
    wchar_t* install_root; // the running program's path less five components
    wchar_t* folder_name;  // "startMenuFolderName" of the global release file; "" when there is none
    wchar_t* folder;       // "\" + folder_name + "\", as the start-menu operations take a folder
};

// Reads the inputs into new strings; release them with free_program_inputs.
void read_program_inputs(ProgramInputs* inputs);
void free_program_inputs(ProgramInputs* inputs);
