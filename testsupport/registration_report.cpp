// Prints what the suite has registered with the desktop, for a person reading the demonstration:
// one section per kind of registration. Console program; UTF-8 output.
//   registration_report.exe START_MENU_FOLDER_NAME
#include "testsupport/files.h"
#include "testsupport/shortcuts.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>

using testsupport::narrow;

namespace {

void print_line(const std::string& text)
{
    fputs(text.c_str(), stdout);
    fputc('\n', stdout);
}

void print_property(const char* label, const std::string& value)
{
    std::string line = "      ";
    line += label;
    line.resize(26, ' ');
    print_line(line + value);
}

std::string or_none(const std::wstring& value)
{
    return value.empty() ? "(none)" : narrow(value);
}

std::string show_command_text(int show_command)
{
    switch (show_command) {
    case SW_SHOWNORMAL:
        return "1 (normal window)";
    case SW_SHOWMAXIMIZED:
        return "3 (maximised)";
    case SW_SHOWMINNOACTIVE:
        return "7 (minimised)";
    default:
        return std::to_string(show_command);
    }
}

void print_shortcut(const std::wstring& path)
{
    print_line("    shortcut " + narrow(path));
    const testsupport::ShortcutProperties shortcut = testsupport::read_shortcut(path);
    if (!shortcut.loaded()) {
        char status[16];
        snprintf(status, sizeof(status), "0x%08lX", static_cast<unsigned long>(shortcut.load_status));
        print_property("(cannot be read)", status);
        return;
    }
    print_property("target", or_none(shortcut.target));
    print_property("arguments", or_none(shortcut.arguments));
    print_property("working directory", or_none(shortcut.working_directory));
    print_property("description", or_none(shortcut.description));
    print_property("icon", or_none(shortcut.icon_path) + ", index " + std::to_string(shortcut.icon_index));
    print_property("show command", show_command_text(shortcut.stored_show_command));
}

// The suite's start-menu folder in one Programs folder, with every shortcut in it read back.
void report_start_menu_section(const char* scope, const std::wstring& programs, const std::wstring& folder_name)
{
    print_line(std::string("Start menu, ") + scope + ": " + or_none(programs));
    if (programs.empty())
        return;
    const std::wstring folder = programs + L"\\" + folder_name;
    if (!testsupport::directory_exists(folder)) {
        print_line("  folder \"" + narrow(folder_name) + "\": does not exist");
        return;
    }
    const std::vector<std::wstring> shortcuts = testsupport::find_shortcuts(folder);
    print_line("  folder \"" + narrow(folder_name) + "\": exists, holds " + std::to_string(shortcuts.size()) +
               (shortcuts.size() == 1 ? " shortcut" : " shortcuts"));
    for (const std::wstring& path : shortcuts)
        print_shortcut(path);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 || argv[1][0] == L'\0') {
        fputs("usage: registration_report START_MENU_FOLDER_NAME\n", stderr);
        return 2;
    }
    // UTF-8 bytes and plain line feeds, as a Linux terminal expects them from Wine.
    _setmode(_fileno(stdout), _O_BINARY);
    const std::wstring folder_name = argv[1];

    report_start_menu_section("all users (machine scope)", testsupport::all_users_programs_folder(), folder_name);
    report_start_menu_section("current user (user scope)", testsupport::user_programs_folder(), folder_name);
    fflush(stdout);
    return 0;
}
