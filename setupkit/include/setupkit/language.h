// Which of the four languages applies to the current user, and the per-user record of that choice.
//
// Language index: 0 English, 1 German, 2 French, 3 Japanese; codes "en-us", "de", "fr", "ja".
// Capacities and sizes count characters with the terminator. A "buffer reference" is the address of
// the caller's buffer pointer: the buffer is written into, the pointer never replaced.
//
// Language settings files (%APPDATA%\Velmora\v182\languagesettings.txt per user, and
// <install root>\commonfiles\Language\languagesettings.txt shared) are 8-bit text whose first
// whitespace-delimited token, cut to 49 characters, holds "key=value"; the key is ignored and the
// value is everything after the first "=". A token without "=" gives the empty value, which
// language_index_from_code does not recognise, so the locale's language applies.
#pragma once

// The user's default locale mapped through the four locale tables; 0 (English) for a locale that is
// not installed or not listed.
int get_locale_language();

// The code of a language index. Pre-sets the buffer to "" when capacity > 1; fills it when
// capacity >= size. Returns the code's size (6 or 3) also after filling, 0 for an index outside 0..3.
int get_language_code(int index, wchar_t* buffer, int capacity);

// The value of a settings file's first token. Pre-sets *buffer to "" whenever a buffer reference
// (with room for a character) is given; fills it when capacity >= size. Returns the value's size
// also after filling, 0 when the file cannot be opened or holds no token.
int read_setting_value(const wchar_t* path, wchar_t** buffer, int capacity);

// The first token, cut to 9 characters, of <directory>\182-1.dvd; "" when the file is missing or
// empty. Returns 0 when the buffer was filled (capacity >= size), else the label's size.
int read_media_label(const wchar_t* directory, wchar_t* buffer, int capacity);

// With persist set, writes exactly "lang=" + the index's code to the per-user settings file,
// creating %APPDATA%\Velmora and its v182 folder when missing. Without persist, or when APPDATA is
// not set, nothing is created or written. Failures are passed over.
void write_language_settings(int index, bool persist);

// The index of an exactly matching code (case-sensitive). Any other code, null included, gives the
// locale's language, which is then recorded by write_language_settings(index, persist).
int language_index_from_code(const wchar_t* code, bool persist);

// The language code from the first source that exists: the per-user settings file (skipped when
// APPDATA is not set), the shared one below install_root, the locale. A file's value is returned
// unchanged, possibly empty. Pre-sets *buffer to "" when a buffer reference is given and
// capacity > 1. Returns 0 when filled (capacity >= size), else the size (0 for a file without a
// token, whose empty code is then written into a buffer of at least one character).
int resolve_language_code(const wchar_t* install_root, wchar_t** buffer, int capacity);

// language_index_from_code of the resolved code, recording the locale's language when the code is
// not recognised and persist is set.
int resolve_language_index(bool persist, const wchar_t* install_root);
