// Reports, into the file named by its argument, what the library finds from this program's
// location: install root, module path and the release-information values, each with its size.
// Lines are UTF-8 "key=value". Tests copy it into laid-out install trees and run it there.
#include "setupkit/paths.h"
#include "setupkit/release_info.h"
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

void add_release_value(std::string& report, const char* key, int (*reader)(wchar_t**))
{
    const int size = reader(nullptr);
    wchar_t* value = new wchar_t[size];
    const int again = reader(&value);
    add_line(report, (std::string(key) + "_size").c_str(), std::to_string(size));
    add_line(report, (std::string(key) + "_size_again").c_str(), std::to_string(again));
    add_line(report, key, utf8(value));
    free_string(&value);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    std::string report;

    const int root_size = get_install_root(nullptr, 0);
    wchar_t* root = new wchar_t[root_size];
    add_line(report, "install_root_fill", std::to_string(get_install_root(root, root_size)));
    add_line(report, "install_root_size", std::to_string(root_size));
    add_line(report, "install_root", utf8(root));
    free_string(&root);

    const int module_size = get_module_path(nullptr, 0);
    wchar_t* module = new wchar_t[module_size];
    get_module_path(module, module_size);
    add_line(report, "module_path", utf8(module));
    free_string(&module);

    add_release_value(report, "folder_name", read_start_menu_folder_name);
    add_release_value(report, "global_suffix", read_global_revision_suffix);
    add_release_value(report, "local_suffix", read_local_revision_suffix);

    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
