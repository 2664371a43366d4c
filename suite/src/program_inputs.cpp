#include "suite/program_inputs.h"

#include "setupkit/install_root.h"
#include "setupkit/release_info.h"
#include "setupkit/strings.h"

void read_program_inputs(ProgramInputs* inputs)
{
    inputs->scope = install_scope();

    const int root_size = get_install_root(nullptr, 0);
    inputs->install_root = new wchar_t[root_size];
    get_install_root(inputs->install_root, root_size);

    // Pre-filled, so that the string is terminated whatever the fill call makes of the file.
    const int name_size = read_start_menu_folder_name(nullptr);
    inputs->folder_name = new wchar_t[name_size];
    inputs->folder_name[0] = L'\0';
    read_start_menu_folder_name(&inputs->folder_name);

    inputs->folder = concat_strings(3, L"\\", inputs->folder_name, L"\\");
}

void free_program_inputs(ProgramInputs* inputs)
{
    free_string(&inputs->folder);
    free_string(&inputs->folder_name);
    free_string(&inputs->install_root);
}
