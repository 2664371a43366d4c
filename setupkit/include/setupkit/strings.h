// Composing and releasing the wide strings that the library hands to its callers.
#pragma once

// New string holding the `count` following wide-string arguments joined in order; null
// arguments contribute nothing, a count of 0 gives "". Owned by the caller: free_string.
wchar_t* concat_strings(unsigned int count, ...);

// Releases *string (when not null) and sets *string to null, so releasing twice is harmless.
void free_string(wchar_t** string);
