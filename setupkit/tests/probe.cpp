// Reports, into the file named by its argument, what the library sees from this copy of the program:
// the release-information values found from its location, each with its size; the OS edition flags
// set and the service-pack text, beside the version that GetVersionExW reports (for the tests'
// messages); and what the DLL search restriction reports under that version, with the DLL directory
// it leaves (a sentinel set first shows whether SetDllDirectoryW(L"") ran).
// Lines are UTF-8 "key=value". Tests copy it into laid-out install trees, and under per-version names
// for Wine's emulation.
#include "setupkit/dll_search.h"
#include "setupkit/os_edition.h"
#include "setupkit/release_info.h"
#include "setupkit/strings.h"

#include "testsupport/probe_report.h"

#include <windows.h>

#include <string>
#include <utility>

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

    SetDllDirectoryW(L"C:\\dll directory sentinel");
    const DllSearch search = restrict_dll_search();
    wchar_t dll_directory[MAX_PATH + 1] = L"";
    GetDllDirectoryW(MAX_PATH + 1, dll_directory);
    report.add("dll_search", search == DllSearch::kSystemFolderOnly       ? "system folder only"
                             : search == DllSearch::kCurrentFolderRemoved ? "current folder removed"
                                                                          : "unchanged");
    report.add("dll_directory", dll_directory);

    // The names of the members set, comma-separated; each name spelt once, so it cannot drift from its call.
    const os_edition_flags flags;
#define MEMBER(name) {#name, flags.name()}
    const std::pair<const char*, bool> members[] = {
        MEMBER(is_windows_2000),  MEMBER(is_windows_xp),          MEMBER(is_windows_server_2003),
        MEMBER(is_windows_vista), MEMBER(is_windows_server_2008), MEMBER(is_windows_server_2008_r2),
        MEMBER(is_windows_hpc_server), MEMBER(is_windows_7),      MEMBER(is_windows_8),
    };
#undef MEMBER
    std::string set;
    for (const auto& member : members) {
        if (member.second)
            set += (set.empty() ? "" : ",") + std::string(member.first);
    }
    report.add("members", set);

    wchar_t* service_pack = nullptr;
    flags.get_service_pack_name(&service_pack);
    report.add("service_pack", service_pack);
    free_string(&service_pack);

    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#ifdef _MSC_VER
#pragma warning(push)
#pragma warning(disable : 4996)
#endif
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
#ifdef _MSC_VER
#pragma warning(pop)
#endif
    report.add("reported_version", std::to_string(version.dwMajorVersion) + "." +
                                             std::to_string(version.dwMinorVersion) + " type " +
                                             std::to_string(version.wProductType));

    return report.save(argv[1]) ? 0 : 3;
}
