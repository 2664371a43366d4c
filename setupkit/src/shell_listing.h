// The shell's emptiness test for a start-menu folder.
#pragma once

#include <windows.h>

// Whether the shell lists a visible non-folder item in the folder (hidden items and sub-folders are
// not listed): S_OK with *listed set, else the failure: the desktop folder object's when it cannot
// be created in this apartment, the enumeration's, or E_FAIL when the shell cannot open the path as
// a folder. Initialises COM on the thread for good. Every shell object is released on return, so
// none still holds the directory open when the caller removes it.
HRESULT shell_lists_visible_item(const wchar_t* path, bool* listed);
