#include "testsupport/places.h"

#include "testsupport/files.h"
#include "testsupport/registry.h"

#include <windows.h>
#include <shlobj.h>

#include <stdexcept>

namespace testsupport {

namespace {

// A free drive letter mapped to a temporary folder for as long as the process runs.
class MappedDrive {
public:
    MappedDrive()
    {
        // One test program at a time picks its letter: a second definition of a letter would not
        // fail but hide the first one.
        HANDLE picking = CreateMutexW(nullptr, FALSE, L"Local\\setupkit-test-drive");
        if (picking)
            WaitForSingleObject(picking, INFINITE);
        const DWORD used = GetLogicalDrives();
        for (wchar_t letter = L'Z'; letter >= L'E' && drive_.empty(); --letter) {
            const std::wstring drive = {letter, L':'};
            if (!(used & (1u << (letter - L'A'))) &&
                DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_NO_BROADCAST_SYSTEM, drive.c_str(), target_.c_str()))
                drive_ = drive;
        }
        const DWORD error = GetLastError();
        if (picking) {
            ReleaseMutex(picking);
            CloseHandle(picking);
        }
        if (drive_.empty())
            throw std::runtime_error("no free drive letter could be mapped to " + narrow(folder_.path()) +
                                     ", error " + std::to_string(error));
        // Wine 8 defines and lists the letter but opens nothing through it: its runner names a drive.
        if (!directory_exists(drive_ + L"\\")) {
            unmap();
            throw std::runtime_error(narrow(drive_) + " was mapped to " + narrow(folder_.path()) +
                                     " but leads nowhere; name a drive in SETUPKIT_TEST_DRIVE");
        }
    }
    ~MappedDrive() { unmap(); }

    const std::wstring& drive() const { return drive_; }

private:
    void unmap()
    {
        // Exactly our definition, should another one have been stacked on the letter since.
        DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE |
                             DDD_NO_BROADCAST_SYSTEM,
                         drive_.c_str(), target_.c_str());
    }

    TempDir folder_;
    const std::wstring target_ = L"\\??\\" + folder_.path();
    std::wstring drive_;
};

} // namespace

std::wstring own_directory()
{
    wchar_t path[1024];
    GetModuleFileNameW(nullptr, path, 1024);
    std::wstring directory = path;
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

const std::wstring& test_drive()
{
    static const std::wstring given = process_variable(L"SETUPKIT_TEST_DRIVE");
    if (given != L"(not set)" && !given.empty())
        return given;
    static const MappedDrive mapped;
    return mapped.drive();
}

std::wstring sample_install_root(Scope scope)
{
    // As the sample installers name them. Program Files as this process sees it: the x86 folder for a
    // 32-bit test, as for the shipped 32-bit packages; the native one for a 64-bit test build's.
    wchar_t folder[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, scope == kMachineScope ? CSIDL_PROGRAM_FILES : CSIDL_LOCAL_APPDATA, nullptr,
                     SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + (scope == kMachineScope ? L"" : L"\\Programs") + L"\\Sample Suite\\v182";
}

bool this_machine_may_change()
{
    return process_variable(L"SETUPKIT_TESTS_MAY_CHANGE_THIS_MACHINE") == L"1";
}

} // namespace testsupport
