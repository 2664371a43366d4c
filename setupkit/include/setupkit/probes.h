// Questions about the machine: Windows version and edition, service pack, processor, and
// small registry look-ups under HKEY_LOCAL_MACHINE and elsewhere.
//
// os_edition.cpp holds os_edition_flags and is_64bit_processor (its edition decision, which the
// tests drive directly, sits in the private os_edition_decision.h); registry_probes.cpp holds
// registry_has_subkey_containing, to_upper_ascii and read_registry_string.
#pragma once

#include <windows.h>

// Which Windows the process runs on, as GetVersionExW reports it: at most one accessor answers
// true, none on a system that matches no known edition. Each construction probes afresh.
class os_edition_flags {
public:
    os_edition_flags();

    bool is_windows_2000() const;
    bool is_windows_xp() const;
    bool is_windows_server_2003() const;
    bool is_windows_vista() const;
    bool is_windows_server_2008() const;
    bool is_windows_server_2008_r2() const;
    bool is_windows_hpc_server() const;
    bool is_windows_7() const;
    bool is_windows_8() const;

    // *name receives a new string holding the reported service-pack text ("" when none or
    // when the version cannot be read). Owned by the caller: free_string.
    void get_service_pack_name(wchar_t** name) const;

private:
    // Sets the one member that matches the running system (or none).
    void classify_os_edition();

    bool windows_2000_;
    bool windows_xp_;
    bool windows_server_2003_;
    bool windows_vista_;
    bool windows_server_2008_;
    bool windows_server_2008_r2_;
    bool windows_hpc_server_;
    bool windows_7_;
    bool windows_8_;
};

// True when the process variable PROCESSOR_IDENTIFIER contains "EM64T", "AMD64" or "Intel64"
// (case-sensitive); false when it does not or is not set.
bool is_64bit_processor();

// True when HKEY_LOCAL_MACHINE\<subkey_path> already existed and one of its direct sub-keys has
// a name containing `text`, ignoring the case of ASCII letters only. A missing key is created
// empty as a side effect where the process may create it. use_64bit_view adds KEY_WOW64_64KEY.
bool registry_has_subkey_containing(const wchar_t* subkey_path, const wchar_t* text, bool use_64bit_view);

// Copies source into destination with a to z capitalised and every other unit unchanged.
// destination holds wcslen(source) + 1 characters; it may be source itself.
void to_upper_ascii(const wchar_t* source, wchar_t* destination);

// The characters read_registry_string's output buffer must hold, terminator included.
constexpr int kRegistryStringChars = 260;

// Reads root\subkey_path's value value_name as text (whatever its type) into buffer, which holds
// kRegistryStringChars characters: at most 259 and a terminator. A missing value, or one too long
// for the buffer, gives ""; a key that cannot be opened leaves the buffer untouched. An empty
// subkey_path reads from root itself, which stays open.
void read_registry_string(HKEY root, const wchar_t* subkey_path, wchar_t* buffer, const wchar_t* value_name);
