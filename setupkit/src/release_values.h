// The revision suffixes as the library's own shortcut operations take them: each read once and
// sized from that same reading, whatever another process does to the file meanwhile.
#pragma once

// New strings (free_string), "" when the file holds no value.
wchar_t* copy_local_revision_suffix();
wchar_t* copy_global_revision_suffix();
