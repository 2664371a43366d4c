// The edition probe's decision, apart from its probing: os_edition.cpp uses it, and its test drives
// every reported version through it, including those that neither Wine nor a test machine reports.
#pragma once

// The members of os_edition_flags, numbered in their fixed order; none when no edition matches.
enum os_edition_member {
    os_edition_none = -1,
    os_edition_windows_2000 = 0,
    os_edition_windows_xp = 1,
    os_edition_windows_server_2003 = 2,
    os_edition_windows_vista = 3,
    os_edition_windows_server_2008 = 4,
    os_edition_windows_server_2008_r2 = 5,
    os_edition_windows_hpc_server = 6,
    os_edition_windows_7 = 7,
    os_edition_windows_8 = 8
};

// True for the reported versions whose edition depends on the HPC test: 6.0 and 6.1 that are
// not workstation (product type other than VER_NT_WORKSTATION).
bool is_hpc_test_needed(unsigned long major, unsigned long minor, unsigned char product_type);

// The edition for a reported version and product type; hpc_found is the HPC test's answer and
// only counts where is_hpc_test_needed is true. No probing of its own.
os_edition_member decide_os_edition(unsigned long major, unsigned long minor, unsigned char product_type,
                                    bool hpc_found);
