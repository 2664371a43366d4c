#include "setupkit/shortcuts.h"

#include "setupkit/paths.h"
#include "setupkit/strings.h"
#include "release_values.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <direct.h>

namespace {

constexpr int kSubfolderPathChars = 520;
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

// True when a non-empty folder argument or relative path does not begin with a backslash: joined to
// the Programs folder it would name a folder beside it ("Evil\" gives "...\ProgramsEvil\").
bool starts_beside_programs_folder(const wchar_t* piece)
{
    return piece && piece[0] != L'\0' && piece[0] != L'\\';
}

// The special folders that can lie inside a Programs folder, of both scopes, and the Programs and
// Start Menu folders themselves. Only these are asked for: asking for all the shell's folders cost
// more than the start-menu work itself.
const int kGuardedFolders[] = {CSIDL_PROGRAMS,   CSIDL_COMMON_PROGRAMS,   CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU,
                               CSIDL_STARTUP,    CSIDL_COMMON_STARTUP,    CSIDL_ALTSTARTUP, CSIDL_COMMON_ALTSTARTUP,
                               CSIDL_ADMINTOOLS, CSIDL_COMMON_ADMINTOOLS};
constexpr int kGuardedCount = sizeof(kGuardedFolders) / sizeof(kGuardedFolders[0]);

// A folder is told by the number its file system gives it, never by the text that named it: a short
// name, "\\?\", doubled or forward separators, trailing dots and spaces, letter case and junctions
// all open the one folder, and no rewriting of the text catches them all (GetLongPathNameW would
// still leave letter case, prefixes and junctions to the text). The number is the file index that
// GetFileInformationByHandle reports, which with the volume's serial number names one folder.
// GetFileInformationByHandle asks for the volume too, which costs Wine about a millisecond a call:
// the index comes alone from ntdll's NtQueryInformationFile (there since Windows NT 3.1, looked up
// at run time as ntdll is no import of ours), and the volume is asked for only when an index matches.
using QueryInformationFile = LONG(__stdcall*)(HANDLE file, void* status_block, void* information, ULONG length,
                                              int information_class);
constexpr int kFileInternalInformation = 6;

// IO_STATUS_BLOCK, which only the driver kit's headers declare.
struct StatusBlock {
    LONG_PTR status;
    ULONG_PTR information;
};

// Opens what the path names, folder or file, to read its attributes: allowed wherever the folder
// above may be listed. Every share mode lets the handle coexist with whoever holds the folder open.
HANDLE open_for_attributes(const wchar_t* path)
{
    return CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Through GetFileInformationByHandle when ntdll's query is not at hand.
bool read_file_index(QueryInformationFile query, HANDLE handle, ULONGLONG* index)
{
    StatusBlock status = {};
    ULARGE_INTEGER number = {};
    BY_HANDLE_FILE_INFORMATION information = {};
    if (query) {
        if (query(handle, &status, &number, sizeof(number), kFileInternalInformation) < 0)
            return false;
    } else {
        if (!GetFileInformationByHandle(handle, &information))
            return false;
        number.HighPart = information.nFileIndexHigh;
        number.LowPart = information.nFileIndexLow;
    }
    *index = number.QuadPart;
    return true;
}

// False only when both are read and differ in volume or index: what cannot be read might be the same.
bool may_be_same_folder(HANDLE handle, const wchar_t* special_path)
{
    BY_HANDLE_FILE_INFORMATION level = {};
    BY_HANDLE_FILE_INFORMATION special = {};
    bool same = true;
    const HANDLE special_handle = open_for_attributes(special_path);
    if (special_handle == INVALID_HANDLE_VALUE)
        return same;
    if (GetFileInformationByHandle(handle, &level) && GetFileInformationByHandle(special_handle, &special))
        same = level.dwVolumeSerialNumber == special.dwVolumeSerialNumber &&
               level.nFileIndexHigh == special.nFileIndexHigh && level.nFileIndexLow == special.nFileIndexLow;
    CloseHandle(special_handle);
    return same;
}

struct SpecialFolders {
    QueryInformationFile query_index;
    int count;
    ULONGLONG indexes[kGuardedCount];
    wchar_t paths[kGuardedCount][MAX_PATH + 1];
};

// Asked for on first use and kept for the rest of the process (one install or uninstall step; a
// special folder made meanwhile is not looked for).
// The shipped code has neither locks nor guarded statics, yet threads may ask at once (the tests
// do): each that finds no set asks for the folders itself and offers its own; the first offered is
// kept, the others are freed. Never freed itself: the process's end releases it.
void* volatile g_special_folders = nullptr;

const SpecialFolders& special_folders()
{
    void* const kept = InterlockedCompareExchangePointer(&g_special_folders, nullptr, nullptr);
    if (kept)
        return *static_cast<const SpecialFolders*>(kept);
    SpecialFolders* found = new SpecialFolders();
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll)
        found->query_index = reinterpret_cast<QueryInformationFile>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")));
    for (const int csidl : kGuardedFolders) {
        wchar_t* const path = found->paths[found->count];
        // A folder the shell does not name, or that does not exist, holds nothing to protect.
        if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE))
            continue;
        path[MAX_PATH] = L'\0';
        const HANDLE handle = open_for_attributes(path);
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        if (read_file_index(found->query_index, handle, &found->indexes[found->count]))
            ++found->count;
        CloseHandle(handle);
    }
    void* const earlier = InterlockedCompareExchangePointer(&g_special_folders, found, nullptr);
    if (!earlier)
        return *found;
    delete found;
    return *static_cast<const SpecialFolders*>(earlier);
}

enum class Level { kAbsent, kOrdinary, kSpecial };

// Whether the path opens one of the special folders, by whatever spelling. A name that cannot be
// opened for want of anything there, or for being no valid name, is absent: nothing can be written
// or removed through it either. What is there but cannot be identified is refused like a special folder.
Level classify(const wchar_t* path)
{
    if (!path || path[0] == L'\0')
        return Level::kAbsent;
    const HANDLE handle = open_for_attributes(path);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
                       error == ERROR_BAD_PATHNAME
                   ? Level::kAbsent
                   : Level::kSpecial;
    }
    Level level = Level::kSpecial;
    ULONGLONG index = 0;
    const SpecialFolders& special = special_folders();
    if (read_file_index(special.query_index, handle, &index)) {
        level = Level::kOrdinary;
        for (int at = 0; level == Level::kOrdinary && at < special.count; ++at) {
            if (special.indexes[at] == index && may_be_same_folder(handle, special.paths[at]))
                level = Level::kSpecial;
        }
    }
    CloseHandle(handle);
    return level;
}

// kSpecial when a folder of `path` below its first `programs_length` characters is a special
// folder: each level is tested, the last component too when `last_is_folder`. A level that does not
// exist ends the test with kAbsent: it cannot be a special folder, nor can anything below it.
// kOrdinary when every level tested exists and is none.
Level first_unusual_level(const wchar_t* path, size_t programs_length, bool last_is_folder)
{
    wchar_t* level = concat_strings(1, path);
    const size_t length = wcslen(level);
    Level found = Level::kOrdinary;
    for (size_t at = programs_length + 1; found == Level::kOrdinary && at <= length; ++at) {
        const wchar_t ending = level[at];
        const bool component_ends = ending == L'\\' || ending == L'/' || (ending == L'\0' && last_is_folder);
        if (!component_ends || level[at - 1] == L'\\' || level[at - 1] == L'/')
            continue;
        level[at] = L'\0';
        found = classify(level);
        level[at] = ending;
    }
    free_string(&level);
    return found;
}

// The Programs folder of the current scope, new[] (free_string); null when the shell gave none.
wchar_t* programs_folder()
{
    wchar_t folder[kProgramsFolderChars];
    return scope_programs_folder(install_scope(), folder) ? concat_strings(1, folder) : nullptr;
}

// The start-menu shortcut path that both creation and deletion use, new[] (free_string); null when
// a piece would leave the Programs folder or lead into a special folder, or there is no Programs folder.
wchar_t* start_menu_link_path(const wchar_t* folder, const wchar_t* name, const wchar_t* suffix)
{
    wchar_t* programs = nullptr;
    wchar_t* link_path = nullptr;
    const bool has_suffix = suffix && suffix[0] != L'\0';

    if (leaves_programs_folder(folder) || leaves_programs_folder(name) || leaves_programs_folder(suffix) ||
        starts_beside_programs_folder(folder))
        goto cleanup;
    programs = programs_folder();
    if (!programs)
        goto cleanup;
    link_path = concat_strings(7, programs, folder, L"\\", name, has_suffix ? L" " : L"", has_suffix ? suffix : L"",
                               kLinkExtension);
    if (first_unusual_level(link_path, wcslen(programs), false) == Level::kSpecial)
        free_string(&link_path);

cleanup:
    free_string(&programs);
    return link_path;
}

// Releases a COM interface when it goes out of scope.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (pointer_)
            pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    Interface** typed_receive() { return &pointer_; }
    void** receive() { return reinterpret_cast<void**>(&pointer_); }
    // After a failed call: whatever it left in the pointer is not ours to release.
    void forget() { pointer_ = nullptr; }

private:
    Interface* pointer_ = nullptr;
};

// Frees an item identifier list when it goes out of scope, through the shell allocator when there
// is one, else through the task allocator.
template <typename ItemId>
class ItemIdList {
public:
    explicit ItemIdList(IMalloc* allocator) : allocator_(allocator) {}
    ~ItemIdList()
    {
        if (!id_)
            return;
        if (allocator_)
            allocator_->Free(id_);
        else
            CoTaskMemFree(id_);
    }
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;

    ItemId get() const { return id_; }
    ItemId* receive() { return &id_; }

private:
    IMalloc* allocator_;
    ItemId id_ = nullptr;
};

// Whether the shell lists a visible non-folder item in the folder (hidden items and sub-folders are
// not listed): S_OK with *listed set, else the failure (E_FAIL when the shell cannot open the path as
// a folder). An answer other than "no item" counts as listed. Every shell object used here is
// released on return, so none still holds the directory open when the caller removes it.
HRESULT lists_visible_item(const wchar_t* path, IMalloc* allocator, bool* listed)
{
    *listed = true;
    ComRef<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.typed_receive())) || !desktop.get()) {
        desktop.forget();
        return E_FAIL;
    }
    // The shell's string arguments are plain wide strings, no BSTR: taking none keeps the OLE
    // automation library from loading at all. The name is a copy as the parser may write to it.
    wchar_t* display_name = concat_strings(1, path);
    ItemIdList<PIDLIST_RELATIVE> folder_id(allocator);
    desktop->ParseDisplayName(nullptr, nullptr, display_name, nullptr, folder_id.receive(), nullptr);
    free_string(&display_name);
    if (!folder_id.get())
        return E_FAIL;
    ComRef<IShellFolder> folder;
    desktop->BindToObject(folder_id.get(), nullptr, IID_IShellFolder, folder.receive());
    if (!folder.get())
        return E_FAIL;

    ComRef<IEnumIDList> items;
    const HRESULT status = folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, items.typed_receive());
    if (FAILED(status)) {
        items.forget();
        return status;
    }
    // Succeeding without an enumerator tells nothing about the folder: leave it alone.
    if (!items.get())
        return E_FAIL;
    ItemIdList<PITEMID_CHILD> item_id(allocator);
    *listed = items->Next(1, item_id.receive(), nullptr) != S_FALSE;
    return S_OK;
}

// remove_folder_if_empty, given what classify says of the path: what the path opens decides, not
// how it is spelt.
int remove_unless_special(const wchar_t* path, Level level)
{
    if (level == Level::kAbsent)
        return E_FAIL;
    if (level == Level::kSpecial)
        return E_ACCESSDENIED;

    CoInitialize(nullptr);
    // Creating the desktop folder's class first reports a shell unusable in this apartment with its
    // own HRESULT; the folders walked below come from SHGetDesktopFolder.
    ComRef<IShellFolder> created;
    const HRESULT status = CoCreateInstance(kShellDesktopClass, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder,
                                            created.receive());
    if (FAILED(status)) {
        created.forget();
        return status;
    }
    ComRef<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.typed_receive())))
        allocator.forget();

    bool listed = true;
    const HRESULT listing = lists_visible_item(path, allocator.get(), &listed);
    if (FAILED(listing))
        return listing;
    if (listed)
        return ERROR_FILE_EXISTS;
    _wrmdir(path);
    return 0;
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
    file->Save(link_path, TRUE);

cleanup:
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
    return remove_unless_special(path, classify(path));
}

int remove_programs_subfolder(const wchar_t* name)
{
    wchar_t path[kSubfolderPathChars] = L"";
    size_t folder_length = 0;
    size_t name_length = 0;
    size_t at = 0;
    Level level = Level::kAbsent;
    if (leaves_programs_folder(name) || names_no_subfolder(name) || !scope_programs_folder(install_scope(), path))
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
    // Nothing is removed below a special folder, and nothing where a level is missing.
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
        level = classify(path);
    }
    return 0;
}

int remove_start_menu_folder(const wchar_t* relative_path)
{
    wchar_t* programs = nullptr;
    wchar_t* path = nullptr;
    if (leaves_programs_folder(relative_path) || names_no_subfolder(relative_path) ||
        starts_beside_programs_folder(relative_path))
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
