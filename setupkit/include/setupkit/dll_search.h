// Where the process finds the DLLs it loads by name: for programs that run elevated from a folder
// that ordinary users may be able to write, nowhere but the system folder.
#pragma once

// LOAD_LIBRARY_SEARCH_SYSTEM32, which the Windows 2000 headers lack: the system folder only.
constexpr unsigned long kSearchSystemFolderOnly = 0x800;

// What restrict_dll_search achieved.
enum class DllSearch { kUnchanged, kCurrentFolderRemoved, kSystemFolderOnly };

// Call first thing, before anything loads a DLL by name. kSystemFolderOnly: SetDefaultDllDirectories
// (Windows 8 and later; 7 and Server 2008 R2 with the update that added it); kCurrentFolderRemoved:
// SetDllDirectoryW(L"") (XP SP1 and later, and Vista, see the source); kUnchanged where neither exists
// (Windows 2000) or both failed. Both are looked up at run time.
DllSearch restrict_dll_search();
