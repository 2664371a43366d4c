#include "testsupport/suite.h"

#include "testsupport/files.h"
#include "testsupport/registry.h"
#include "testsupport/shortcuts.h"

#include <algorithm>

namespace testsupport {

namespace {

enum class Kind { kRoot, kShared, kAddOn };

struct Variable {
    const wchar_t* name;
    Kind kind;
};

#define ROOT(name) {L"" #name, Kind::kRoot},
#define SHARED(name) {L"" #name, Kind::kShared},
#define ADD_ON(name) {L"" #name, Kind::kAddOn},
const Variable kVariables[] = {
#include "testsupport/suite_variables.def"
};
#undef ROOT
#undef SHARED
#undef ADD_ON

// The names of the kinds given, in the file's order.
std::vector<const wchar_t*> names_of(std::initializer_list<Kind> kinds)
{
    std::vector<const wchar_t*> names;
    for (const Variable& variable : kVariables) {
        if (std::find(kinds.begin(), kinds.end(), variable.kind) != kinds.end())
            names.push_back(variable.name);
    }
    return names;
}

} // namespace

const std::vector<const wchar_t*> kPostinstallVariables = names_of({Kind::kRoot, Kind::kShared});
const std::vector<const wchar_t*> kRootVariables = names_of({Kind::kRoot});
const std::vector<const wchar_t*> kAddOnVariables = names_of({Kind::kAddOn});
const std::vector<const wchar_t*> kSuiteVariables = names_of({Kind::kRoot, Kind::kShared, Kind::kAddOn});
const wchar_t* const kSharedVariable = names_of({Kind::kShared}).front();

#define ADD_ON_SHORTCUT(folder, name) L"" #folder L"\\" #name,
const std::vector<std::wstring> kAddOnShortcuts = {
#include "testsupport/suite_shortcuts.def"
};
#undef ADD_ON_SHORTCUT

const wchar_t kSetupBelowRoot[] = L"\\Framework\\bin\\Win64\\setup\\";

std::string release_information(const std::string& folder_name_utf8, const std::string& revision)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<releaseInformation>\r\n"
           "  <startMenuFolderName value=\"" + folder_name_utf8 + "\"/>\r\n"
           "  <startMenuShortcutAppendRevision value=\"" + revision + "\"/>\r\n</releaseInformation>\r\n";
}

bool write_release_information(const std::wstring& root, const std::string& folder_name_utf8,
                               const std::string& revision)
{
    const std::wstring path = root + L"\\commonfiles\\globalsettings\\relinfo.xml";
    const std::string bytes = release_information(folder_name_utf8, revision);
    write_bytes(path, bytes);
    return read_bytes(path) == bytes;
}

bool place_programs(const std::wstring& root, std::initializer_list<const wchar_t*> programs)
{
    for (const wchar_t* program : programs) {
        if (!copy_file(own_directory() + program, root + kSetupBelowRoot + program))
            return false;
    }
    return true;
}

std::wstring program_command(const std::wstring& root, const wchar_t* program, const std::wstring& arguments)
{
    return L"\"" + root + kSetupBelowRoot + program + L"\"" + arguments;
}

std::wstring programs_folder(As as)
{
    return as == As::StandardUser ? user_programs_folder() : all_users_programs_folder();
}

void forget_suite_registration(std::initializer_list<std::wstring> folder_names)
{
    for (const std::wstring& programs : {all_users_programs_folder(), user_programs_folder()}) {
        for (const std::wstring& folder_name : folder_names)
            remove_tree(programs + L"\\" + folder_name);
        remove_tree(programs + L"\\Fenwright.lnk");
        remove_tree(programs + L"\\Fenwright .lnk");
    }
    for (const wchar_t* name : kSuiteVariables)
        forget_environment_variable(name);
}

std::vector<std::string> log_lines(const std::wstring& path)
{
    std::vector<std::string> lines;
    const std::string bytes = read_bytes(path);
    for (size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start).substr(std::min<size_t>(24, end - start)));
    return lines;
}

} // namespace testsupport
