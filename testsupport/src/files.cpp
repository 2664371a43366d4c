#include "testsupport/files.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir()
{
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    static unsigned sequence = 0;
    for (;;) {
        path_ = std::wstring(temp) + L"setupkit-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++sequence);
        if (CreateDirectoryW(path_.c_str(), nullptr))
            break;
        // Only a name clash is worth another name; a test must not go on without its directory.
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create the temporary directory " + narrow(path_) + ", error " +
                                     std::to_string(error));
    }
}

TempDir::~TempDir()
{
    remove_tree(path_);
}

std::wstring TempDir::operator/(const std::wstring& relative) const
{
    return path_ + L"\\" + relative;
}

bool make_directories(const std::wstring& path)
{
    if (directory_exists(path))
        return true;
    const size_t separator = path.find_last_of(L'\\');
    if (separator != std::wstring::npos && separator > 0)
        make_directories(path.substr(0, separator));
    CreateDirectoryW(path.c_str(), nullptr);
    return directory_exists(path);
}

void write_bytes(const std::wstring& path, const std::string& bytes)
{
    make_directories(path.substr(0, path.find_last_of(L'\\') + 1)); // none for a bare file name
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool write_sparse_file(const std::wstring& path, const std::string& head, unsigned long long size)
{
    write_bytes(path, head);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return sized;
}

std::string read_bytes(const std::wstring& path)
{
    std::string bytes;
    // Sharing delete too: a file that another process has just renamed into place may still be open
    // there for the rename, and a reader that refuses to share would read nothing.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool file_exists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring short_path(const std::wstring& path)
{
    wchar_t spelt[MAX_PATH + 1] = L"";
    const DWORD length = GetShortPathNameW(path.c_str(), spelt, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? std::wstring(spelt, length) : std::wstring();
}

bool directory_exists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

void add_entries(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& entries)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\" + relative + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        entries.push_back(relative + name);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            add_entries(folder, relative + name + L"\\", entries);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

} // namespace

std::vector<std::wstring> list_tree(const std::wstring& folder)
{
    std::vector<std::wstring> entries;
    add_entries(folder, L"", entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

void remove_tree(const std::wstring& path)
{
    // A drive path goes through "\\?\", where Win32 takes neither a name like "NUL" for the device
    // nor MAX_PATH as the limit: what Wine let a test make, the test can remove.
    const std::wstring root = path.size() > 2 && path[1] == L':' ? L"\\\\?\\" + path : path;
    std::vector<std::wstring> doomed = list_tree(path);
    for (std::wstring& entry : doomed)
        entry = root + L"\\" + entry;
    doomed.insert(doomed.begin(), root);
    // Backwards, so that what a folder holds goes before the folder.
    for (auto entry = doomed.rbegin(); entry != doomed.rend(); ++entry) {
        if (directory_exists(*entry)) {
            RemoveDirectoryW(entry->c_str());
        } else {
            SetFileAttributesW(entry->c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(entry->c_str());
        }
    }
}

namespace {

// The Unix name of a path, by kernel32's wine_get_unix_file_name; "" on Windows.
std::wstring unix_name(const std::wstring& path)
{
    typedef char*(CDECL * unix_name_function)(LPCWSTR);
    const auto convert = reinterpret_cast<unix_name_function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* found = convert ? convert(path.c_str()) : nullptr;
    const std::string name = found ? found : "";
    HeapFree(GetProcessHeap(), 0, found);
    return std::wstring(name.begin(), name.end());
}

bool is_link(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace

// Wine starts a Unix program named by its path (Z: is the Unix root), but hands back no handle that
// tells when it ends: the link is watched for instead. Wine shows no file link that leads nowhere, so a missing target
// stands in meanwhile.
bool SymbolicLink::run_unix(const std::wstring& program, const std::wstring& arguments, bool link_wanted)
{
    const bool stand_in = !folder_ && !file_exists(target_);
    if (stand_in)
        write_bytes(target_, "");
    std::wstring command = L"Z:" + program + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    auto there = [&] { return folder_ ? is_link(link_) : file_exists(link_); };
    for (int wait = 0; wait < 100 && there() != link_wanted; ++wait)
        Sleep(50);
    const bool done = there() == link_wanted;
    if (stand_in)
        DeleteFileW(target_.c_str());
    return done;
}

SymbolicLink::SymbolicLink(const std::wstring& link, const std::wstring& target, bool folder)
    : link_(link), target_(target), folder_(folder)
{
    made_ = CreateSymbolicLinkW(link.c_str(), target.c_str(), folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) &&
            is_link(link);
    unix_link_ = made_ ? L"" : unix_name(link);
    if (!unix_link_.empty())
        made_ = run_unix(L"/bin/ln", L"-s \"" + unix_name(target) + L"\" \"" + unix_link_ + L"\"", true);
}

SymbolicLink::~SymbolicLink()
{
    // Under Wine, RemoveDirectoryW on a link removes the folder it leads to.
    if (!unix_link_.empty())
        run_unix(L"/bin/rm", L"-f \"" + unix_link_ + L"\"", false);
    else if (folder_)
        RemoveDirectoryW(link_.c_str());
    else
        DeleteFileW(link_.c_str());
}

bool copy_file(const std::wstring& from, const std::wstring& to)
{
    make_directories(to.substr(0, to.find_last_of(L'\\') + 1));
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

} // namespace testsupport
