#include "setupkit/language.h"

#include "setupkit/directories.h"
#include "setupkit/paths.h"
#include "setupkit/release_info.h"
#include "setupkit/strings.h"

#include <windows.h>

// The C headers: any C++ library header would swap in mingw's own formatted I/O, and the
// system runtime's reads and writes these files just as well.
#include <stdio.h>
#include <wchar.h>

namespace {

const wchar_t kSettingsFileName[] = L"\\languagesettings.txt";
const wchar_t kUserSettingsFolder[] = L"\\Velmora";
const wchar_t kSharedSettingsFolder[] = L"\\commonfiles\\Language";
const wchar_t kMediaMarkerEnding[] = L"-1.dvd";
const wchar_t kSettingKey[] = L"lang=";

// The formats' widths bound what is stored: a longer token is cut, never written past the buffer.
constexpr int kSettingTokenChars = 49;
const wchar_t kSettingTokenFormat[] = L"%49ls";
constexpr int kMediaLabelChars = 9;
const wchar_t kMediaLabelFormat[] = L"%9ls";

const wchar_t* const kLanguageCodes[] = {L"en-us", L"de", L"fr", L"ja"};
constexpr int kLanguageCount = 4;

const LCID kEnglishLocales[] = {0x0409, 0x0809, 0x0C09, 0x2809, 0x1009, 0x2409, 0x3C09, 0x4009, 0x3809,
                                0x1809, 0x2009, 0x4409, 0x1409, 0x3409, 0x4809, 0x1C09, 0x2C09, 0x3009};
const LCID kGermanLocales[] = {0x0407, 0x0C07, 0x1407, 0x1007, 0x0807};
const LCID kFrenchLocales[] = {0x040C, 0x080C, 0x2C0C, 0x0C0C, 0x240C, 0x300C, 0x3C0C, 0x140C,
                               0x340C, 0x180C, 0x380C, 0xE40C, 0x200C, 0x280C, 0x100C, 0x1C0C};
const LCID kJapaneseLocales[] = {0x0411};

struct LocaleTable {
    const LCID* locales;
    size_t count;
};

const LocaleTable kLocaleTables[kLanguageCount] = {
    {kEnglishLocales, sizeof(kEnglishLocales) / sizeof(kEnglishLocales[0])},
    {kGermanLocales, sizeof(kGermanLocales) / sizeof(kGermanLocales[0])},
    {kFrenchLocales, sizeof(kFrenchLocales) / sizeof(kFrenchLocales[0])},
    {kJapaneseLocales, sizeof(kJapaneseLocales) / sizeof(kJapaneseLocales[0])},
};

int size_of(const wchar_t* text)
{
    return static_cast<int>(wcslen(text)) + 1;
}

// A new string of at least one character, set to "".
wchar_t* new_empty_string(int characters)
{
    wchar_t* text = new wchar_t[characters > 0 ? characters : 1];
    text[0] = L'\0';
    return text;
}

// The process's APPDATA as a new string, or null when it is not set.
wchar_t* read_appdata()
{
    const DWORD needed = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (needed == 0)
        return nullptr;
    wchar_t* value = new_empty_string(static_cast<int>(needed));
    const DWORD copied = GetEnvironmentVariableW(L"APPDATA", value, needed);
    // Changed in between: nothing trustworthy to build on.
    if (copied == 0 || copied >= needed)
        free_string(&value);
    return value;
}

// A new string holding the release folder name (v182).
wchar_t* new_release_folder_name()
{
    const int size = get_release_folder_name(nullptr, 0);
    wchar_t* folder = new_empty_string(size);
    get_release_folder_name(folder, size);
    return folder;
}

// Reads the file's first token with a width-bounded format ("%49ls") into `token`, which has room
// for that width and the terminator. Leaves `token` empty when the file cannot be opened or holds no token.
void read_first_token(const wchar_t* path, wchar_t* token, const wchar_t* format)
{
    token[0] = L'\0';
    FILE* file = _wfopen(path, L"r");
    if (!file)
        return;
    if (fwscanf(file, format, token) != 1)
        token[0] = L'\0';
    fclose(file);
}

// The value of the file's first token, as read_setting_value defines it, read once into a new string
// (free_string); null when the file cannot be opened or holds no token.
wchar_t* copy_setting_value(const wchar_t* path)
{
    wchar_t token[kSettingTokenChars + 1];
    read_first_token(path, token, kSettingTokenFormat);
    if (token[0] == L'\0')
        return nullptr;
    const wchar_t* equals = wcschr(token, L'=');
    return concat_strings(1, equals ? equals + 1 : L"");
}

// Copies `code` into the caller's buffer when there is one with room for it; 0 when filled, else its size.
// A file without a token sizes its code at 0; the caller's buffer still holds a character, so the
// empty code is written and comes back terminated.
int hand_over_code(const wchar_t* code, int size, wchar_t** buffer, int capacity)
{
    if (!buffer || !*buffer || capacity < size)
        return size;
    wcscpy(*buffer, code);
    return 0;
}

} // namespace

int get_locale_language()
{
    const LCID lcid = GetUserDefaultLCID();
    if (!IsValidLocale(lcid, LCID_INSTALLED))
        return 0;
    for (int index = 0; index < kLanguageCount; ++index) {
        for (size_t i = 0; i < kLocaleTables[index].count; ++i) {
            if (kLocaleTables[index].locales[i] == lcid)
                return index;
        }
    }
    return 0;
}

int get_language_code(int index, wchar_t* buffer, int capacity)
{
    if (buffer && capacity > 1)
        buffer[0] = L'\0';
    if (index < 0 || index >= kLanguageCount)
        return 0;
    const int size = size_of(kLanguageCodes[index]);
    if (buffer && capacity >= size)
        wcscpy(buffer, kLanguageCodes[index]);
    return size;
}

int read_setting_value(const wchar_t* path, wchar_t** buffer, int capacity)
{
    // Callers' buffers hold at least one character, even when the sizing call gave 0.
    if (buffer && *buffer)
        (*buffer)[0] = L'\0';
    wchar_t* value = copy_setting_value(path);
    if (!value)
        return 0;
    const int size = size_of(value);
    if (buffer && *buffer && capacity >= size)
        wcscpy(*buffer, value);
    free_string(&value);
    return size;
}

int read_media_label(const wchar_t* directory, wchar_t* buffer, int capacity)
{
    wchar_t label[kMediaLabelChars + 1];
    const int tag_size = get_release_tag(nullptr, 0);
    wchar_t* tag = new_empty_string(tag_size);
    get_release_tag(tag, tag_size);
    wchar_t* path = concat_strings(4, directory, L"\\", tag, kMediaMarkerEnding);

    read_first_token(path, label, kMediaLabelFormat);
    const int size = size_of(label);
    int result = size;
    if (buffer && capacity >= size) {
        wcscpy(buffer, label);
        result = 0;
    }

    free_string(&path);
    free_string(&tag);
    return result;
}

void write_language_settings(int index, bool persist)
{
    wchar_t* code = nullptr;
    wchar_t* text = nullptr;
    wchar_t* appdata = nullptr;
    wchar_t* folder = nullptr;
    wchar_t* vendor_dir = nullptr;
    wchar_t* release_dir = nullptr;
    wchar_t* path = nullptr;
    FILE* file = nullptr;
    int size = get_language_code(index, nullptr, 0);

    code = new_empty_string(size);
    get_language_code(index, code, size);
    if (!persist)
        goto cleanup;
    text = concat_strings(2, kSettingKey, code);
    appdata = read_appdata();
    // Without APPDATA there is no per-user profile folder to write into.
    if (!appdata)
        goto cleanup;
    folder = new_release_folder_name();
    vendor_dir = concat_strings(2, appdata, kUserSettingsFolder);
    release_dir = concat_strings(3, vendor_dir, L"\\", folder);
    path = concat_strings(2, release_dir, kSettingsFileName);
    ensure_directory(appdata);
    ensure_directory(vendor_dir);
    ensure_directory(release_dir);
    file = _wfopen(path, L"w");
    if (!file)
        goto cleanup;
    fwprintf(file, L"%ls", text);
    fclose(file);

cleanup:
    free_string(&path);
    free_string(&release_dir);
    free_string(&vendor_dir);
    free_string(&folder);
    free_string(&appdata);
    free_string(&text);
    free_string(&code);
}

int language_index_from_code(const wchar_t* code, bool persist)
{
    if (code) {
        for (int index = 0; index < kLanguageCount; ++index) {
            if (wcscmp(code, kLanguageCodes[index]) == 0)
                return index;
        }
    }
    const int index = get_locale_language();
    write_language_settings(index, persist);
    return index;
}

int resolve_language_code(const wchar_t* install_root, wchar_t** buffer, int capacity)
{
    wchar_t* appdata = nullptr;
    wchar_t* folder = nullptr;
    wchar_t* user_path = nullptr;
    wchar_t* shared_path = nullptr;
    wchar_t* value = nullptr;
    const wchar_t* source = nullptr;
    int result = 0;

    if (buffer && *buffer && capacity > 1)
        (*buffer)[0] = L'\0';
    appdata = read_appdata();
    folder = new_release_folder_name();
    if (appdata)
        user_path = concat_strings(5, appdata, kUserSettingsFolder, L"\\", folder, kSettingsFileName);
    shared_path = concat_strings(3, install_root, kSharedSettingsFolder, kSettingsFileName);

    // Existence alone selects the source, whatever the file holds.
    if (user_path && path_exists(user_path))
        source = user_path;
    else if (path_exists(shared_path))
        source = shared_path;

    if (source) {
        // Read once: a file rewritten meanwhile cannot make the value disagree with its size.
        value = copy_setting_value(source);
        const int size = value ? size_of(value) : 0;
        if (!value)
            value = new_empty_string(1);
        result = hand_over_code(value, size, buffer, capacity);
    } else {
        const wchar_t* code = kLanguageCodes[get_locale_language()];
        result = hand_over_code(code, size_of(code), buffer, capacity);
    }

    free_string(&value);
    free_string(&shared_path);
    free_string(&user_path);
    free_string(&folder);
    free_string(&appdata);
    return result;
}

int resolve_language_index(bool persist, const wchar_t* install_root)
{
    const int size = resolve_language_code(install_root, nullptr, 0);
    wchar_t* code = new_empty_string(size);
    resolve_language_code(install_root, &code, size);
    const int index = language_index_from_code(code, persist);
    free_string(&code);
    return index;
}
