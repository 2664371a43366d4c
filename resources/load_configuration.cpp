// The shipped programs' load configuration: the loader resolves their imports, and the imports of
// those DLLs, from the system folder only (Windows 10 version 1607 and later read the field; older
// loaders skip it). GNU ld links the structure but leaves the image's directory entry empty;
// cmake/fill_load_config.py fills it in after linking. The Visual C++ linker writes the field itself
// (/DEPENDENTLOADFLAG), so this file is built with GCC only.
#include "setupkit/dll_search.h"

#include <windows.h>

#include <cstddef>

namespace {

// The structure as far as the security cookie: the layout Windows 2000 and XP knew. It stops short
// of the x86 safe exception handler table, so the loader treats the programs' exception handlers as
// it did without a load configuration; nothing in the programs raises or handles exceptions anyway.
struct LoadConfiguration {
    DWORD size;
    DWORD time_date_stamp;
    WORD major_version;
    WORD minor_version;
    DWORD global_flags_clear;
    DWORD global_flags_set;
    DWORD critical_section_default_timeout;
    ULONG_PTR decommit_free_block_threshold;
    ULONG_PTR decommit_total_free_threshold;
    ULONG_PTR lock_prefix_table;
    ULONG_PTR maximum_allocation_size;
    ULONG_PTR virtual_memory_threshold;
#ifdef _WIN64
    ULONG_PTR process_affinity_mask;
    DWORD process_heap_flags;
#else
    DWORD process_heap_flags;
    ULONG_PTR process_affinity_mask;
#endif
    WORD csd_version;
    WORD dependent_load_flags;
    ULONG_PTR edit_list;
    ULONG_PTR security_cookie;
};

// XP and Server 2003 accept an x86 load configuration of 64 bytes only.
static_assert(sizeof(LoadConfiguration) == (sizeof(void*) == 4 ? 64 : 96), "load configuration layout");
static_assert(offsetof(LoadConfiguration, dependent_load_flags) == (sizeof(void*) == 4 ? 54 : 78),
              "DependentLoadFlags offset");

} // namespace

// The linker and the loader know the structure by this name; every field not named is 0.
extern "C" const LoadConfiguration _load_config_used = {
    sizeof(LoadConfiguration), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kSearchSystemFolderOnly, 0, 0};
