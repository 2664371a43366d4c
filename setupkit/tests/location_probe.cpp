// Reports, into the file named by its argument, what the library finds from this program's
// location: install root, module path and the release-information values, each with its size.
// Lines are UTF-8 "key=value". Tests copy it into laid-out install trees and run it there.
#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/strings.h"

#include "testsupport/probe_report.h"

#include <windows.h>

#include <string>

namespace {

void add_release_value(testsupport::ProbeReportWriter& report, const char* key, int (*reader)(wchar_t**))
{
    const int size = reader(nullptr);
    wchar_t* value = new wchar_t[size];
    const int again = reader(&value);
    report.add(std::string(key) + "_size", std::to_string(size));
    report.add(std::string(key) + "_size_again", std::to_string(again));
    report.add(key, value);
    free_string(&value);
}

} // namespace

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

    add_release_value(report, "folder_name", read_start_menu_folder_name);
    add_release_value(report, "global_suffix", read_global_revision_suffix);
    add_release_value(report, "local_suffix", read_local_revision_suffix);

    return report.save(argv[1]) ? 0 : 3;
}
