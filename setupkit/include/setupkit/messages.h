// Message boxes and window texts, from given text or from the string table of a module.
//
// String resources carry UTF-8: each byte of the UTF-8 text is stored as the windows-1252
// character for that byte value (C3 BC is stored as U+00C3 U+00BC and reads back as U+00FC).
// Entries are read up to 4159 characters; longer ones are cut.
#pragma once

#include <windows.h>

// Shows the text in a topmost information box captioned "INFORMATION" with an OK button;
// returns when the user has closed it.
void show_information(const wchar_t* text);

// Shows the system's own message text for the error code with show_information. When the system
// has no text for the code, no box is shown.
void show_system_error(DWORD error_code);

// Sets the text of the dialog's control. `unused` stands where the resource setters take a module.
void set_dialog_item_text(const wchar_t* text, HINSTANCE unused, HWND dialog, int control_id);

// Reads string resource string_id + id_offset of the module and decodes it (see above); a missing
// entry reads as "". Two-call protocol: with no buffer and capacity 0, returns the decoded length
// + 2 (terminator and one spare); with a buffer of that capacity, fills it with the terminated text
// and returns the same. A buffer too small receives "" (when capacity > 0) and the result is 1.
int load_resource_text(UINT string_id, HINSTANCE module, UINT id_offset, wchar_t* buffer, int capacity);

// Sets the dialog control's text to string resource string_id + id_offset of the module.
void set_dialog_item_resource_text(UINT string_id, HINSTANCE module, HWND dialog, int control_id, UINT id_offset);

// Sets the window's own text to string resource string_id + id_offset of the module.
void set_window_resource_text(UINT string_id, HINSTANCE module, HWND window, UINT id_offset);
