// The floor that scripts/bench.sh times each shipped program against: the same start-menu and
// environment work with the fewest API calls it needs, in the machine scope (the benchmark runs as
// an administrator). No release file is read, nothing is logged, nothing is checked or guarded: the
// names and values are fixed, those of the benchmark's install tree. Built like the shipped
// programs (their code generation, allocation functions, manifest and icon, stripped), so that
// what differs between the two is the work, not the start-up.
//   bench_floor.exe postinstall ROOT   the main shortcut, the four variables, a broadcast for each
//   bench_floor.exe preuninstall       the nine shortcuts, the five variables, the three folders
//                                      (each removed when the shell lists nothing in it)
//   bench_floor.exe addons             not timed: lays out what the add-ons' installers would leave
//                                      (their eight shortcuts, copies of the main one, and two variables)
//   bench_floor.exe hold               not timed: holds the desktop, answering messages, until ended.
//                                      Wine starts its desktop process for the first program that needs
//                                      one and ends it after the last: each timed program would pay 7 to
//                                      200 ms for that, at random, where Windows' desktop is always there.
// Exit status 0, or 2 for a mode it does not know.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

namespace {

constexpr size_t kPathChars = 2 * MAX_PATH;
const wchar_t kFolder[] = L"\\VELMORA 18.1";
const wchar_t kMainShortcut[] = L"\\Fenwright 18.1.lnk";
const wchar_t kEnvironmentKey[] = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t* const kAddOnShortcuts[] = {
    L"\\TESSAL\\TESSAL Desktop 18.1.lnk",    L"\\TESSAL\\TESSAL Studio 18.1.lnk",
    L"\\TESSAL\\Server Upgrade 18.1.lnk",    L"\\TESSAL\\Server Diagnostics 18.1.lnk",
    L"\\CORVANE\\CORVANE 18.1.lnk",          L"\\CORVANE\\CORVANE Documentation 18.1.lnk",
    L"\\CORVANE\\CORVANE Examples 18.1.lnk", L"\\CORVANE\\Uninstall CORVANE 18.1.lnk",
};
const wchar_t* const kDeletedVariables[] = {L"TALVO_ROOT182", L"CORVANE182_DIR", L"P_SCHEMA", L"VOSKEL_DOCDIR182",
                                            L"VOSKEL_LIBDIR182"};

// Text that the caller makes fit: the floor's names are fixed and short.
void join(wchar_t* into, const wchar_t* first, const wchar_t* second)
{
    swprintf(into, kPathChars, L"%ls%ls", first, second);
}

// The suite's folder in the all-users Programs folder.
void suite_folder(wchar_t* folder)
{
    wchar_t programs[MAX_PATH + 1] = L"";
    SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    join(folder, programs, kFolder);
}

void broadcast()
{
    wchar_t area[] = L"Environment";
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(area), SMTO_NORMAL, 50,
                        &answer);
}

void set_variable(HKEY key, const wchar_t* name, const wchar_t* value)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    SetEnvironmentVariableW(name, value);
    broadcast();
}

void delete_variable(HKEY key, const wchar_t* name)
{
    if (RegDeleteValueW(key, name) != ERROR_SUCCESS)
        return;
    SetEnvironmentVariableW(name, nullptr);
    broadcast();
}

void postinstall(const wchar_t* root)
{
    wchar_t folder[kPathChars];
    wchar_t text[kPathChars];
    suite_folder(folder);
    CreateDirectoryW(folder, nullptr);
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        swprintf(text, kPathChars, L"\"%ls\\Framework\\bin\\Win64\\runfen2.exe\"", root);
        link->SetPath(text);
        link->SetArguments(L"");
        link->SetWorkingDirectory(L"%HOMEDRIVE%%HOMEPATH%");
        link->SetDescription(L"Start VELMORA Fenwright");
        link->SetIconLocation(L"", 0);
        link->SetShowCmd(SW_SHOWNORMAL);
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            join(text, folder, kMainShortcut);
            file->Save(text, TRUE);
            file->Release();
        }
        link->Release();
    }

    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    set_variable(key, L"TALVO_ROOT182", root);
    join(text, root, L"\\ORVANE\\CADIntegration\\Parasolid\\PSchema");
    set_variable(key, L"P_SCHEMA", text);
    join(text, root, L"\\CommonFiles\\Language\\");
    set_variable(key, L"VOSKEL_LIBDIR182", text);
    set_variable(key, L"VELMORA_SYSDIR32", L"win32");
    RegCloseKey(key);
}

// The job removes a folder when the shell lists no visible non-folder item in it: that listing is
// part of the floor, in as few calls as it takes.
void remove_if_listed_empty(IShellFolder* desktop, wchar_t* path)
{
    PIDLIST_RELATIVE id = nullptr;
    IShellFolder* folder = nullptr;
    IEnumIDList* items = nullptr;
    PITEMID_CHILD item = nullptr;
    bool empty = false;
    if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, path, nullptr, &id, nullptr)) &&
        SUCCEEDED(desktop->BindToObject(id, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder))) &&
        folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, &items) == S_OK && items)
        empty = items->Next(1, &item, nullptr) == S_FALSE;
    CoTaskMemFree(item);
    if (items)
        items->Release();
    if (folder)
        folder->Release();
    CoTaskMemFree(id);
    if (empty)
        RemoveDirectoryW(path);
}

void preuninstall()
{
    wchar_t folder[kPathChars];
    wchar_t path[kPathChars];
    suite_folder(folder);
    join(path, folder, kMainShortcut);
    DeleteFileW(path);
    for (const wchar_t* shortcut : kAddOnShortcuts) {
        join(path, folder, shortcut);
        DeleteFileW(path);
    }

    // A machine-scope uninstall deletes the user's copy of each variable too.
    HKEY machine = nullptr;
    HKEY user = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_ALL_ACCESS, &machine);
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_ALL_ACCESS, &user);
    for (const wchar_t* name : kDeletedVariables) {
        if (user)
            delete_variable(user, name);
        if (machine)
            delete_variable(machine, name);
    }
    if (user)
        RegCloseKey(user);
    if (machine)
        RegCloseKey(machine);

    CoInitialize(nullptr);
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)))
        return;
    join(path, folder, L"\\TESSAL");
    remove_if_listed_empty(desktop, path);
    join(path, folder, L"\\CORVANE");
    remove_if_listed_empty(desktop, path);
    remove_if_listed_empty(desktop, folder);
    desktop->Release();
}

void addons()
{
    wchar_t folder[kPathChars];
    wchar_t main_shortcut[kPathChars];
    wchar_t path[kPathChars];
    suite_folder(folder);
    join(main_shortcut, folder, kMainShortcut);
    join(path, folder, L"\\TESSAL");
    CreateDirectoryW(path, nullptr);
    join(path, folder, L"\\CORVANE");
    CreateDirectoryW(path, nullptr);
    for (const wchar_t* shortcut : kAddOnShortcuts) {
        join(path, folder, shortcut);
        CopyFileW(main_shortcut, path, FALSE);
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    const wchar_t value[] = L"C:\\Addon";
    RegSetValueExW(key, L"CORVANE182_DIR", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value));
    RegSetValueExW(key, L"VOSKEL_DOCDIR182", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value));
    RegCloseKey(key);
}

// Answers what is sent to it (the timed programs' broadcasts among them) until it is ended.
void hold()
{
    GetDesktopWindow();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const wchar_t* mode = arguments && count > 1 ? arguments[1] : L"";
    int status = 0;
    if (wcscmp(mode, L"postinstall") == 0 && count > 2)
        postinstall(arguments[2]);
    else if (wcscmp(mode, L"preuninstall") == 0)
        preuninstall();
    else if (wcscmp(mode, L"addons") == 0)
        addons();
    else if (wcscmp(mode, L"hold") == 0)
        hold();
    else
        status = 2;
    LocalFree(arguments);
    return status;
}
