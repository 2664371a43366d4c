#include "setupkit/shortcuts.h"

#include "com_ref.h"
#include "release_values.h"
#include "shell_listing.h"
#include "special_folder_guard.h"

#include "setupkit/directories.h"
#include "setupkit/paths.h"
#include "setupkit/strings.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <direct.h>

namespace {

constexpr int kSubfolderPathChars = 520;
const wchar_t kFixedSuffix[] = L"18.1";

// The Programs folder of the current scope, new[] (free_string); null when the shell gave none.
wchar_t* programs_folder()
{
    wchar_t folder[kProgramsFolderChars];
    return scope_programs_folder(install_scope(), folder) ? concat_strings(1, folder) : nullptr;
}

// Whether a rule refused the name. A refusal leaves ERROR_INVALID_NAME as the thread's last error:
// the operations return 0 either way, and so a caller can still tell a refused name from one tried.
bool refused(const wchar_t* refusal)
{
    if (refusal)
        SetLastError(ERROR_INVALID_NAME);
    return refusal != nullptr;
}

// The start-menu shortcut path that both creation and deletion use, new[] (free_string); null when
// start_menu_shortcut_refusal refuses it (so that nothing is made that the removal cannot take
// apart), when it leads into a special folder, or when there is no Programs folder.
wchar_t* start_menu_link_path(const wchar_t* folder, const wchar_t* name, const wchar_t* suffix)
{
    wchar_t* programs = nullptr;
    wchar_t* link_path = nullptr;

    programs = programs_folder();
    if (!programs || refused(start_menu_shortcut_refusal(programs, folder, name, suffix)))
        goto cleanup;
    link_path = compose_start_menu_link_path(programs, folder, name, suffix);
    if (special_folder_refusal(programs, link_path, false))
        free_string(&link_path);

cleanup:
    free_string(&programs);
    return link_path;
}

// Creates the folder that will hold the link, with its missing parents. A bare file name has no
// folder to create (and must not become one).
void create_link_folder(const wchar_t* link_path)
{
    wchar_t* folder = concat_strings(1, link_path);
    if (strip_last_component(folder)) {
        PathRemoveBackslashW(folder);
        create_directory_tree(folder);
    }
    free_string(&folder);
}

// Why the removal refuses the folder name, or null: nothing is removed that creation would have
// refused. It is asked in the form the programs and their step log spell it, "\" + name + "\".
const wchar_t* programs_subfolder_refusal(const wchar_t* programs, const wchar_t* name)
{
    wchar_t* relative_path = concat_strings(3, L"\\", name, L"\\");
    const wchar_t* refusal = start_menu_folder_refusal(programs, relative_path);
    free_string(&relative_path);
    return refusal;
}

// remove_folder_if_empty, given what the guard says of the path: what the path opens decides, not
// how it is spelt.
int remove_unless_special(const wchar_t* path, Level level)
{
    if (level == Level::kAbsent)
        return E_FAIL;
    if (level == Level::kSpecial)
        return E_ACCESSDENIED;
    bool listed = true;
    const HRESULT listing = shell_lists_visible_item(path, &listed);
    if (FAILED(listing))
        return listing;
    if (listed)
        return ERROR_FILE_EXISTS;
    _wrmdir(path);
    return 0;
}

} // namespace

const wchar_t* special_folder_refusal(const wchar_t* programs, const wchar_t* path, bool last_is_folder)
{
    return first_unusual_level(path, wcslen(programs), last_is_folder) == Level::kSpecial
               ? L"it leads into a folder the shell names as special (Startup, Administrative Tools, Programs, "
                 L"Start Menu)"
               : nullptr;
}

int create_shortcut_file(const wchar_t* link_path, const wchar_t* target, const wchar_t* arguments,
                         const wchar_t* working_directory, const wchar_t* description, const wchar_t* icon_path,
                         int icon_index, int show_command)
{
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    int result = 0;

    // Initialised for good: the thread may go on using shell objects after we return.
    CoInitialize(nullptr);
    create_link_folder(link_path);

    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        link->SetPath(target);
        link->SetArguments(arguments);
        link->SetWorkingDirectory(working_directory);
        link->SetDescription(description);
        link->SetIconLocation(icon_path, icon_index);
        link->SetShowCmd(show_command);
        const HRESULT status = link->QueryInterface(IID_IPersistFile, file.put_void());
        if (SUCCEEDED(status))
            file->Save(link_path, TRUE);
        else
            result = status;
    }
    return result;
}

int create_start_menu_shortcut(const wchar_t* directory, const wchar_t* file_name, const wchar_t* arguments,
                               const wchar_t* icon_path, const wchar_t* working_directory, const wchar_t* folder,
                               const wchar_t* name, const wchar_t* description, int show_command,
                               const wchar_t* suffix)
{
    wchar_t* link_path = start_menu_link_path(folder, name, suffix);
    wchar_t* target = nullptr;
    if (link_path) {
        target = concat_strings(4, L"\"", directory, file_name, L"\"");
        create_shortcut_file(link_path, target, arguments, working_directory, description, icon_path, 0,
                             show_command);
    }
    free_string(&target);
    free_string(&link_path);
    return 0;
}

int create_start_menu_shortcut_fixed(const wchar_t* directory, const wchar_t* file_name, const wchar_t* arguments,
                                     const wchar_t* icon_path, const wchar_t* working_directory,
                                     const wchar_t* folder, const wchar_t* name, const wchar_t* description,
                                     int show_command)
{
    return create_start_menu_shortcut(directory, file_name, arguments, icon_path, working_directory, folder, name,
                                      description, show_command, kFixedSuffix);
}

int create_start_menu_shortcut_global(const wchar_t* directory, const wchar_t* file_name, const wchar_t* arguments,
                                      const wchar_t* icon_path, const wchar_t* working_directory,
                                      const wchar_t* folder, const wchar_t* name, const wchar_t* description,
                                      int show_command)
{
    wchar_t* suffix = copy_global_revision_suffix();
    const int result = create_start_menu_shortcut(directory, file_name, arguments, icon_path, working_directory,
                                                  folder, name, description, show_command, suffix);
    free_string(&suffix);
    return result;
}

int create_start_menu_shortcut_local(const wchar_t* directory, const wchar_t* file_name, const wchar_t* arguments,
                                     const wchar_t* icon_path, const wchar_t* working_directory,
                                     const wchar_t* folder, const wchar_t* name, const wchar_t* description,
                                     int show_command)
{
    wchar_t* suffix = copy_local_revision_suffix();
    const int result = create_start_menu_shortcut(directory, file_name, arguments, icon_path, working_directory,
                                                  folder, name, description, show_command, suffix);
    free_string(&suffix);
    return result;
}

int delete_shortcut_file(const wchar_t* path)
{
    return DeleteFileW(path) ? 0 : E_FAIL;
}

int delete_start_menu_shortcut(const wchar_t* folder, const wchar_t* name, const wchar_t* suffix)
{
    wchar_t* link_path = start_menu_link_path(folder, name, suffix);
    if (link_path)
        delete_shortcut_file(link_path);
    free_string(&link_path);
    return 0;
}

int delete_start_menu_shortcut_global(const wchar_t* folder, const wchar_t* name)
{
    wchar_t* suffix = copy_global_revision_suffix();
    const int result = delete_start_menu_shortcut(folder, name, suffix);
    free_string(&suffix);
    return result;
}

int delete_start_menu_shortcut_fixed(const wchar_t* folder, const wchar_t* name)
{
    return delete_start_menu_shortcut(folder, name, kFixedSuffix);
}

int delete_start_menu_shortcut_plain(const wchar_t* folder, const wchar_t* name)
{
    return delete_start_menu_shortcut(folder, name, L"");
}

int delete_start_menu_shortcut_local(const wchar_t* folder, const wchar_t* name)
{
    wchar_t* suffix = copy_local_revision_suffix();
    const int result = delete_start_menu_shortcut(folder, name, suffix);
    free_string(&suffix);
    return result;
}

int remove_folder_if_empty(const wchar_t* path)
{
    return remove_unless_special(path, classify_folder(path));
}

int remove_programs_subfolder(const wchar_t* name)
{
    wchar_t path[kSubfolderPathChars] = L"";
    size_t folder_length = 0;
    size_t name_length = 0;
    size_t at = 0;
    Level level = Level::kAbsent;
    if (!scope_programs_folder(install_scope(), path) || refused(programs_subfolder_refusal(path, name)))
        return 0;
    folder_length = wcslen(path);
    name_length = wcslen(name);
    // The folder, a backslash, the name and the terminator must fit; a cut name could name another folder.
    if (folder_length + 1 + name_length + 1 > static_cast<size_t>(kSubfolderPathChars))
        return 0;
    // Doubled and trailing separators go: the shell parses only the plain form of a folder's path.
    path[folder_length] = L'\\';
    at = folder_length + 1;
    for (const wchar_t* from = name; *from; ++from) {
        if (*from != L'\\' || path[at - 1] != L'\\')
            path[at++] = *from;
    }
    if (path[at - 1] == L'\\')
        --at;
    path[at] = L'\0';
    // Nothing is removed below a special folder, nor where a level is missing.
    level = first_unusual_level(path, folder_length, true);
    if (level != Level::kOrdinary)
        return 0;
    // A nested name ("Vendor\Suite") was created with its parents: each level goes, innermost
    // first, as long as the one below it existed and went. A level that was never there stops the
    // climb: the suite did not empty what is above it. The Programs folder itself is never reached.
    // The innermost level was just told apart; those above are told again once the one below went.
    for (;;) {
        if (remove_unless_special(path, level) != 0 || path_exists(path))
            break;
        wchar_t* last_separator = wcsrchr(path, L'\\');
        if (!last_separator || last_separator <= path + folder_length)
            break;
        *last_separator = L'\0';
        level = classify_folder(path);
    }
    return 0;
}

int remove_start_menu_folder(const wchar_t* relative_path)
{
    wchar_t* programs = nullptr;
    wchar_t* path = nullptr;
    programs = programs_folder();
    if (!programs || refused(start_menu_folder_refusal(programs, relative_path)))
        goto cleanup;
    path = concat_strings(2, programs, relative_path);
    remove_folder_if_empty(path);

cleanup:
    free_string(&path);
    free_string(&programs);
    return 0;
}
