// The install root, five path levels above the running program, and the program's own file name.
#pragma once

// Copies `source` into `destination` (at least wcslen(source) + 1 characters) without its last
// five components and without a trailing backslash; a drive root such as C:\ keeps its backslash.
void strip_path_levels(const wchar_t* source, wchar_t* destination);

// The install root: the running program's path less five components (C:\S\R\a\b\c\d\p.exe -> C:\S\R).
// Two-call protocol: with a capacity below the module path's length + 1 (always so for a null
// buffer, whatever its capacity) nothing is written and that size is returned; otherwise fills the
// buffer and returns 0.
int get_install_root(wchar_t* buffer, int capacity);

// The running program's full file name. Two-call protocol as get_install_root.
int get_module_path(wchar_t* buffer, int capacity);
