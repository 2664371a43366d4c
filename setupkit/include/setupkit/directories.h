// Creating directories: one level, a whole tree, or one level shared with every user.
#pragma once

// Creates one directory level unless the path exists. Nonzero when it exists afterwards
// (existed or was created), 0 when the creation failed (for instance a missing parent).
int ensure_directory(const wchar_t* path);

// Creates the directory and every missing parent, outermost first (C:\ , C:\A\ , C:\A\B\ ...).
// Failures, existing directories included, are passed over. Always 0.
int create_directory_tree(const wchar_t* path);

// Creates one directory level that grants Everyone nearly full access (inherited by sub-directories,
// not files). The parent must exist. Always 0.
int create_shared_directory(const wchar_t* path);
