#include "setupkit/os_edition.h"

#include "os_edition_decision.h"
#include "record_sizes.h"

#include "setupkit/registry_probes.h"
#include "setupkit/strings.h"

#include <windows.h>

#include <cwchar>

ASSERT_32BIT_SIZE(sizeof(OSVERSIONINFOEXW), 284);
static_assert(sizeof(os_edition_flags) == 9, "nine one-byte flags and nothing else");

namespace {

constexpr DWORD kProductClusterServer = 18;

typedef BOOL(WINAPI* get_product_info_function)(DWORD, DWORD, DWORD, DWORD, PDWORD);

// Zero-filled first, so a failed call reads as version 0 with no service pack.
void read_version(OSVERSIONINFOEXW* version)
{
    ZeroMemory(version, sizeof(*version));
    version->dwOSVersionInfoSize = sizeof(*version);
    // Deprecated for callers that should test for features; here the version itself is wanted.
#ifdef _MSC_VER
#pragma warning(push)
#pragma warning(disable : 4996)
#endif
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(version));
#ifdef _MSC_VER
#pragma warning(pop)
#endif
}

// GetProductInfo exists from Vista on; looked up at run time so the program still loads on XP.
bool is_cluster_server_product(DWORD major, DWORD minor)
{
    DWORD product_type = 0;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel)
        return false;
    get_product_info_function get_product_info =
        reinterpret_cast<get_product_info_function>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetProductInfo")));
    if (!get_product_info)
        return false;
    get_product_info(major, minor, 0, 0, &product_type);
    return product_type == kProductClusterServer;
}

bool hpc_test(DWORD major, DWORD minor)
{
    if (is_cluster_server_product(major, minor))
        return true;
    return registry_has_subkey_containing(L"SOFTWARE\\Microsoft", L"HPC", is_64bit_processor());
}

} // namespace

bool is_hpc_test_needed(unsigned long major, unsigned long minor, unsigned char product_type)
{
    return major == 6 && minor <= 1 && product_type != VER_NT_WORKSTATION;
}

os_edition_member decide_os_edition(unsigned long major, unsigned long minor, unsigned char product_type,
                                    bool hpc_found)
{
    const bool workstation = product_type == VER_NT_WORKSTATION;
    if (major == 5) {
        if (minor == 0)
            return os_edition_windows_2000;
        if (minor == 1)
            return os_edition_windows_xp;
        if (minor == 2)
            return workstation ? os_edition_windows_xp : os_edition_windows_server_2003;
        return os_edition_none;
    }
    if (major == 6) {
        if (minor == 0) {
            if (workstation)
                return os_edition_windows_vista;
            return hpc_found ? os_edition_windows_hpc_server : os_edition_windows_server_2008;
        }
        if (minor == 1) {
            if (workstation)
                return os_edition_windows_7;
            return hpc_found ? os_edition_windows_hpc_server : os_edition_windows_server_2008_r2;
        }
        if (minor == 2 && workstation)
            return os_edition_windows_8;
    }
    return os_edition_none;
}

os_edition_flags::os_edition_flags()
{
    classify_os_edition();
}

void os_edition_flags::classify_os_edition()
{
    windows_2000_ = false;
    windows_xp_ = false;
    windows_server_2003_ = false;
    windows_vista_ = false;
    windows_server_2008_ = false;
    windows_server_2008_r2_ = false;
    windows_hpc_server_ = false;
    windows_7_ = false;
    windows_8_ = false;

    OSVERSIONINFOEXW version;
    read_version(&version);
    const DWORD major = version.dwMajorVersion;
    const DWORD minor = version.dwMinorVersion;
    const BYTE product_type = version.wProductType;
    // The HPC test may create a registry key as a side effect: only the rows that need it run it.
    const bool hpc_found = is_hpc_test_needed(major, minor, product_type) && hpc_test(major, minor);

    switch (decide_os_edition(major, minor, product_type, hpc_found)) {
    case os_edition_windows_2000:
        windows_2000_ = true;
        break;
    case os_edition_windows_xp:
        windows_xp_ = true;
        break;
    case os_edition_windows_server_2003:
        windows_server_2003_ = true;
        break;
    case os_edition_windows_vista:
        windows_vista_ = true;
        break;
    case os_edition_windows_server_2008:
        windows_server_2008_ = true;
        break;
    case os_edition_windows_server_2008_r2:
        windows_server_2008_r2_ = true;
        break;
    case os_edition_windows_hpc_server:
        windows_hpc_server_ = true;
        break;
    case os_edition_windows_7:
        windows_7_ = true;
        break;
    case os_edition_windows_8:
        windows_8_ = true;
        break;
    case os_edition_none:
        break;
    }
}

bool os_edition_flags::is_windows_2000() const { return windows_2000_; }
bool os_edition_flags::is_windows_xp() const { return windows_xp_; }
bool os_edition_flags::is_windows_server_2003() const { return windows_server_2003_; }
bool os_edition_flags::is_windows_vista() const { return windows_vista_; }
bool os_edition_flags::is_windows_server_2008() const { return windows_server_2008_; }
bool os_edition_flags::is_windows_server_2008_r2() const { return windows_server_2008_r2_; }
bool os_edition_flags::is_windows_hpc_server() const { return windows_hpc_server_; }
bool os_edition_flags::is_windows_7() const { return windows_7_; }
bool os_edition_flags::is_windows_8() const { return windows_8_; }

void os_edition_flags::get_service_pack_name(wchar_t** name) const
{
    OSVERSIONINFOEXW version;
    read_version(&version);
    // A record filled by the platform is terminated; terminate anyway rather than trust it.
    version.szCSDVersion[sizeof(version.szCSDVersion) / sizeof(version.szCSDVersion[0]) - 1] = L'\0';
    *name = concat_strings(1, version.szCSDVersion);
}

bool is_64bit_processor()
{
    bool found = false;
    wchar_t* identifier = nullptr;
    const DWORD size = GetEnvironmentVariableW(L"PROCESSOR_IDENTIFIER", nullptr, 0);
    if (size == 0)
        goto cleanup;
    identifier = new wchar_t[size];
    identifier[0] = L'\0';
    // A variable that grew since it was measured is not read: the buffer is left as it was.
    if (GetEnvironmentVariableW(L"PROCESSOR_IDENTIFIER", identifier, size) >= size)
        goto cleanup;
    found = wcsstr(identifier, L"EM64T") || wcsstr(identifier, L"AMD64") || wcsstr(identifier, L"Intel64");

cleanup:
    delete[] identifier;
    return found;
}
