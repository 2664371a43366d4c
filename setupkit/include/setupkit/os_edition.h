// Questions about the machine: Windows version and edition, service pack, processor. The edition
// decision itself, which the tests drive directly, sits in the private os_edition_decision.h.
#pragma once

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
