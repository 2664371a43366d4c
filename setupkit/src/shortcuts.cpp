#include "setupkit/shortcuts.h"

#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/strings.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <direct.h>

namespace {

constexpr int kSubfolderPathChars = 520;
constexpr int kFolderHoldsItem = 80; // ERROR_FILE_EXISTS
const wchar_t kFixedSuffix[] = L"18.1";
const wchar_t kLinkExtension[] = L".lnk";

// {00021400-0000-0000-C000-000000000046}, the shell's desktop folder; not in every SDK's headers.
const CLSID kShellDesktopClass = {0x00021400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// True when the piece could lead a path out of the Programs folder: a ":" (drive or stream) or a
// ".." component. Components such as ".. " or "..." count too: Win32 path normalisation trims
// trailing dots and spaces, and no start-menu name needs them.
bool leaves_programs_folder(const wchar_t* piece)
{
    if (!piece)
        return false;
    if (wcschr(piece, L':'))
        return true;
    const wchar_t* component = piece;
    for (;;) {
        const size_t length = wcscspn(component, L"\\/");
        size_t dots = 0;
        for (size_t at = 0; at < length; ++at)
            dots += component[at] == L'.' ? 1 : 0;
        if (dots >= 2 && wcsspn(component, L". ") == length)
            return true;
        if (component[length] == L'\0')
            return false;
        component += length + 1;
    }
}

// True when the piece names nothing but the folder it is appended to (only separators, dots, spaces).
bool names_no_subfolder(const wchar_t* piece)
{
    return !piece || wcsspn(piece, L"\\/. ") == wcslen(piece);
}

// The Programs folder of the current scope, new[] (free_string); null when the shell gave none.
wchar_t* programs_folder()
{
    const int size = get_programs_folder(nullptr, 0);
    wchar_t* folder = new wchar_t[size];
    get_programs_folder(folder, static_cast<unsigned int>(size));
    if (folder[0] == L'\0')
        free_string(&folder);
    return folder;
}

// The start-menu shortcut path that both creation and deletion use, new[] (free_string); null when
// a piece would leave the Programs folder or there is no Programs folder.
wchar_t* start_menu_link_path(const wchar_t* folder, const wchar_t* name, const wchar_t* suffix)
{
    wchar_t* programs = nullptr;
    wchar_t* link_path = nullptr;
    const bool has_suffix = suffix && suffix[0] != L'\0';

    if (leaves_programs_folder(folder) || leaves_programs_folder(name) || leaves_programs_folder(suffix))
        goto cleanup;
    programs = programs_folder();
    if (!programs)
        goto cleanup;
    link_path = concat_strings(7, programs, folder, L"\\", name, has_suffix ? L" " : L"", has_suffix ? suffix : L"",
                               kLinkExtension);

cleanup:
    free_string(&programs);
    return link_path;
}

// A revision suffix by the reader's two-call protocol, new[] (free_string).
wchar_t* read_suffix(int (*reader)(wchar_t**))
{
    const int size = reader(nullptr);
    wchar_t* suffix = new wchar_t[size];
    suffix[0] = L'\0';
    reader(&suffix);
    return suffix;
}

} // namespace

int create_shortcut_file(const wchar_t* link_path, const wchar_t* target, const wchar_t* arguments,
                         const wchar_t* working_directory, const wchar_t* description, const wchar_t* icon_path,
                         int icon_index, int show_command)
{
    int result = 0;
    wchar_t* folder = nullptr;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    BSTR saved_name = nullptr;
    HRESULT status = S_OK;

    // Initialised for good: the thread may go on using shell objects after we return.
    CoInitialize(nullptr);

    folder = concat_strings(1, link_path);
    // A bare file name has no folder to create (and must not become one).
    if (strip_last_component(folder)) {
        PathRemoveBackslashW(folder);
        create_directory_tree(folder);
    }

    status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link));
    if (FAILED(status)) {
        link = nullptr;
        goto cleanup;
    }
    link->SetPath(target);
    link->SetArguments(arguments);
    link->SetWorkingDirectory(working_directory);
    link->SetDescription(description);
    link->SetIconLocation(icon_path, icon_index);
    link->SetShowCmd(show_command);

    status = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(status)) {
        file = nullptr;
        result = status;
        goto cleanup;
    }
    saved_name = SysAllocString(link_path);
    if (saved_name)
        file->Save(saved_name, TRUE);

cleanup:
    if (saved_name)
        SysFreeString(saved_name);
    if (file)
        file->Release();
    if (link)
        link->Release();
    free_string(&folder);
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
    wchar_t* suffix = read_suffix(read_global_revision_suffix);
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
    wchar_t* suffix = read_suffix(read_local_revision_suffix);
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
    wchar_t* suffix = read_suffix(read_global_revision_suffix);
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
    wchar_t* suffix = read_suffix(read_local_revision_suffix);
    const int result = delete_start_menu_shortcut(folder, name, suffix);
    free_string(&suffix);
    return result;
}

int remove_folder_if_empty(const wchar_t* path)
{
    int result = E_FAIL;
    IShellFolder* created = nullptr;
    IShellFolder* desktop = nullptr;
    IShellFolder* folder = nullptr;
    IEnumIDList* items = nullptr;
    IMalloc* allocator = nullptr;
    PIDLIST_RELATIVE folder_id = nullptr;
    PITEMID_CHILD item_id = nullptr;
    BSTR display_name = nullptr;
    HRESULT status = S_OK;
    bool empty = false;

    if (!PathFileExistsW(path))
        goto cleanup;

    CoInitialize(nullptr);
    status = CoCreateInstance(kShellDesktopClass, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder,
                              reinterpret_cast<void**>(&created));
    if (FAILED(status)) {
        created = nullptr;
        result = status;
        goto cleanup;
    }
    if (FAILED(SHGetMalloc(&allocator)))
        allocator = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) {
        desktop = nullptr;
        goto cleanup;
    }
    display_name = SysAllocString(path);
    if (!display_name)
        goto cleanup;
    desktop->ParseDisplayName(nullptr, nullptr, display_name, nullptr, &folder_id, nullptr);
    if (!folder_id)
        goto cleanup;
    desktop->BindToObject(folder_id, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder));
    if (!folder)
        goto cleanup;

    status = folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, &items);
    if (FAILED(status)) {
        items = nullptr;
        result = status;
        goto cleanup;
    }
    // Succeeding without an enumerator tells nothing about the folder: leave it alone.
    if (!items)
        goto cleanup;
    empty = items->Next(1, &item_id, nullptr) == S_FALSE;
    result = kFolderHoldsItem;
    if (empty) {
        // The shell may keep the directory open through these objects, which would block its removal.
        items->Release();
        items = nullptr;
        folder->Release();
        folder = nullptr;
        _wrmdir(path);
        result = 0;
    }

cleanup:
    if (item_id) {
        if (allocator)
            allocator->Free(item_id);
        else
            CoTaskMemFree(item_id);
    }
    if (items)
        items->Release();
    if (folder)
        folder->Release();
    if (folder_id) {
        if (allocator)
            allocator->Free(folder_id);
        else
            CoTaskMemFree(folder_id);
    }
    if (display_name)
        SysFreeString(display_name);
    if (desktop)
        desktop->Release();
    if (allocator)
        allocator->Release();
    if (created)
        created->Release();
    return result;
}

int remove_programs_subfolder(const wchar_t* name)
{
    wchar_t path[kSubfolderPathChars] = L"";
    size_t folder_length = 0;
    size_t name_length = 0;
    int csidl = CSIDL_PROGRAMS;
    if (leaves_programs_folder(name) || names_no_subfolder(name))
        goto cleanup;
    csidl = is_user_admin() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE))
        goto cleanup;
    path[kSubfolderPathChars - 1] = L'\0';
    folder_length = wcslen(path);
    name_length = wcslen(name);
    // The folder, a backslash, the name and the terminator must fit; a cut name could name another folder.
    if (folder_length == 0 || folder_length + 1 + name_length + 1 > static_cast<size_t>(kSubfolderPathChars))
        goto cleanup;
    path[folder_length] = L'\\';
    memcpy(path + folder_length + 1, name, (name_length + 1) * sizeof(wchar_t));
    remove_folder_if_empty(path);

cleanup:
    return 0;
}

int remove_start_menu_folder(const wchar_t* relative_path)
{
    wchar_t* programs = nullptr;
    wchar_t* path = nullptr;
    if (leaves_programs_folder(relative_path) || names_no_subfolder(relative_path))
        goto cleanup;
    programs = programs_folder();
    if (!programs)
        goto cleanup;
    path = concat_strings(2, programs, relative_path);
    remove_folder_if_empty(path);

cleanup:
    free_string(&path);
    free_string(&programs);
    return 0;
}
