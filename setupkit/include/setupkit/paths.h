// Path text: components, containment, existence.
// Only the backslash separates path components; a forward slash is an ordinary character.
#pragma once

// Cuts the last component in place, keeping the backslash before it:
// C:\A\B\prog.exe -> C:\A\B\ ; C:\A\B\ -> C:\A\ ; C:\ stays (true); prog.exe stays (false).
// Returns true when the path held a backslash.
bool strip_last_component(wchar_t* path);

// True when the path names an existing file or directory.
bool path_exists(const wchar_t* path);

// True when `path` is `root` or lies below it: letter case aside, as the file system compares names,
// and on a component boundary (D:\S\v182 covers D:\S\v182\bin, not D:\S\v1820). False for an empty root.
bool path_lies_within(const wchar_t* path, const wchar_t* root);
