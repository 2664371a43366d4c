// The running program's file name as the library reads it: into 520 characters, always terminated.
#pragma once

#include <windows.h>

constexpr DWORD kModulePathChars = 520;

// Fills `buffer` (kModulePathChars characters) and returns the count GetModuleFileNameW reported.
DWORD read_module_path(wchar_t* buffer);
