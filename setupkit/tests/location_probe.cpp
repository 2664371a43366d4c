// Reports, into the file named by its argument, what the library finds from this program's
// location: the release-information values, each with its size.
// Lines are UTF-8 "key=value". Tests copy it into laid-out install trees and run it there.
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
