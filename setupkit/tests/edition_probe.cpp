// Reports, into the file named by its argument, the OS edition flags of this process and the
// service-pack text, beside the version that GetVersionExW reports (for the test's messages).
// Lines are UTF-8 "key=value". Tests copy it under per-version names for Wine's emulation.
#include "setupkit/probes.h"
#include "setupkit/strings.h"

#include <windows.h>

#include <string>

namespace {

std::string utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size) - 1);
    return result;
}

void add_line(std::string& report, const char* key, const std::string& value)
{
    report += key;
    report += '=';
    report += value;
    report += '\n';
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    std::string report;

    const os_edition_flags flags;
    add_line(report, "is_windows_2000", std::to_string(flags.is_windows_2000()));
    add_line(report, "is_windows_xp", std::to_string(flags.is_windows_xp()));
    add_line(report, "is_windows_server_2003", std::to_string(flags.is_windows_server_2003()));
    add_line(report, "is_windows_vista", std::to_string(flags.is_windows_vista()));
    add_line(report, "is_windows_server_2008", std::to_string(flags.is_windows_server_2008()));
    add_line(report, "is_windows_server_2008_r2", std::to_string(flags.is_windows_server_2008_r2()));
    add_line(report, "is_windows_hpc_server", std::to_string(flags.is_windows_hpc_server()));
    add_line(report, "is_windows_7", std::to_string(flags.is_windows_7()));
    add_line(report, "is_windows_8", std::to_string(flags.is_windows_8()));

    wchar_t* service_pack = nullptr;
    flags.get_service_pack_name(&service_pack);
    add_line(report, "service_pack", utf8(service_pack));
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
    add_line(report, "reported_version", std::to_string(version.dwMajorVersion) + "." +
                                             std::to_string(version.dwMinorVersion) + " type " +
                                             std::to_string(version.wProductType));

    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
