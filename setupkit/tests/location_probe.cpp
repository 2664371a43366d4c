// Reports, into the file named by its argument, what the library finds from this program's
// location: install root, module path and the release-information values, each with its size.
// Lines are UTF-8 "key=value". Tests copy it into laid-out install trees and run it there.
#include "setupkit/install_root.h"
#include "setupkit/release_info.h"
#include "setupkit/strings.h"

#include "testsupport/probe_report.h"

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    testsupport::ProbeReportWriter report;

    const int root_size = get_install_root(nullptr, 0);
    wchar_t* root = new wchar_t[root_size];
    report.add("install_root_fill", std::to_string(get_install_root(root, root_size)));
    report.add("install_root_size", std::to_string(root_size));
    report.add("install_root", root);
    free_string(&root);

    const int module_size = get_module_path(nullptr, 0);
    wchar_t* module = new wchar_t[module_size];
    get_module_path(module, module_size);
    report.add("module_path", module);
    free_string(&module);

    const char* const keys[] = {"folder_name", "global_suffix", "local_suffix"};
    int (*const readers[])(wchar_t**) = {read_start_menu_folder_name, read_global_revision_suffix,
                                         read_local_revision_suffix};
    int sizes[3];
    // Every size query first, then every fill: each reader must keep the size it was asked for.
    for (int i = 0; i < 3; ++i)
        sizes[i] = readers[i](nullptr);
    for (int i = 0; i < 3; ++i) {
        wchar_t* value = new wchar_t[sizes[i]];
        report.add(std::string(keys[i]) + "_size_again", std::to_string(readers[i](&value)));
        report.add(std::string(keys[i]) + "_size", std::to_string(sizes[i]));
        report.add(keys[i], value);
        free_string(&value);
    }

    return report.save(argv[1]) ? 0 : 3;
}
