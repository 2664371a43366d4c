// Prints what the suite has registered, for a person reading the demonstration: one section per
// kind of registration (start menu, environment), each in both scopes, read back with the plain
// shell and registry API rather than through the library. Console program; UTF-8 output.
//   registration_report.exe START_MENU_FOLDER_NAME
#include "testsupport/files.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

using testsupport::narrow;

namespace {

void print_line(const std::string& text)
{
    fputs(text.c_str(), stdout);
    fputc('\n', stdout);
}

void print_property(const char* label, const std::string& value)
{
    std::string line = "        ";
    line += label;
    line.resize(28, ' ');
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
    print_line("      shortcut " + narrow(path));
    const testsupport::ShortcutProperties shortcut = testsupport::read_shortcut(path);
    if (!shortcut.ok()) {
        char status[16];
        snprintf(status, sizeof(status), "0x%08lX", static_cast<unsigned long>(shortcut.status));
        print_property("(cannot be read)", std::string(shortcut.failed_call) + " " + status);
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
void report_programs_folder(const char* scope, const std::wstring& programs, const std::wstring& folder_name)
{
    print_line(std::string("  ") + scope + ": " + or_none(programs));
    if (programs.empty())
        return;
    const std::wstring folder = programs + L"\\" + folder_name;
    if (!testsupport::directory_exists(folder)) {
        print_line("    folder \"" + narrow(folder_name) + "\": does not exist");
        return;
    }
    const std::vector<std::wstring> shortcuts = testsupport::find_shortcuts(folder);
    print_line("    folder \"" + narrow(folder_name) + "\": exists, holds " + std::to_string(shortcuts.size()) +
               (shortcuts.size() == 1 ? " shortcut" : " shortcuts"));
    for (const std::wstring& path : shortcuts)
        print_shortcut(path);
}

void report_start_menu(const std::wstring& folder_name)
{
    print_line("Start menu");
    report_programs_folder("all users (machine scope)", testsupport::all_users_programs_folder(), folder_name);
    report_programs_folder("current user (user scope)", testsupport::user_programs_folder(), folder_name);
}

// Every variable the two programs write or delete: postinstall's four in its order, then the add-ons' two.
const wchar_t* const kVariables[] = {L"TALVO_ROOT182",    L"P_SCHEMA",       L"VOSKEL_LIBDIR182",
                                     L"VELMORA_SYSDIR32", L"CORVANE182_DIR", L"VOSKEL_DOCDIR182"};

std::string type_name(DWORD type)
{
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_DWORD:
        return "REG_DWORD";
    default:
        return "type " + std::to_string(type);
    }
}

// "value  (REG_SZ)", for data that is not a string its type and size, or why it cannot be read.
std::string describe_value(const testsupport::RegistryValue& value)
{
    if (!value.exists)
        return "(unreadable, error " + std::to_string(value.error) + ")";
    const std::string type = type_name(value.type);
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ)
        return "(" + type + ", " + std::to_string(value.data.size()) + " bytes)";
    return narrow(value.text()) + "  (" + type + ")";
}

// The suite's variables as one environment key holds them: each one set on its own line, then the
// names of those not set on one line.
void report_environment_key(const char* scope, const char* key_name, bool machine)
{
    std::vector<std::string> set_lines;
    std::string not_set;
    for (const wchar_t* name : kVariables) {
        const testsupport::RegistryValue value = testsupport::read_environment_value(machine, name);
        if (!value.exists && value.error == ERROR_FILE_NOT_FOUND) {
            not_set += (not_set.empty() ? "" : ", ") + narrow(name);
            continue;
        }
        std::string line = "    " + narrow(name);
        line.resize(4 + 18, ' ');
        set_lines.push_back(line + describe_value(value));
    }
    print_line(std::string("  ") + scope + ": " + key_name + ", " + std::to_string(set_lines.size()) + " of " +
               std::to_string(sizeof(kVariables) / sizeof(kVariables[0])) + " set");
    for (const std::string& line : set_lines)
        print_line(line);
    if (!not_set.empty())
        print_line("    (not set): " + not_set);
}

void report_environment()
{
    print_line("Environment");
    report_environment_key("machine scope", "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                           true);
    report_environment_key("user scope", "HKCU\\Environment", false);
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

    report_start_menu(folder_name);
    report_environment();
    fflush(stdout);
    return 0;
}
