#include "setupkit/link_path.h"

#include "setupkit/strings.h"

#include <cwchar>

wchar_t* compose_shortcut_file_name(const wchar_t* name, const wchar_t* suffix)
{
    const bool has_suffix = suffix && suffix[0] != L'\0';
    return concat_strings(4, name, has_suffix ? L" " : L"", has_suffix ? suffix : L"", L".lnk");
}

wchar_t* compose_start_menu_link_path(const wchar_t* programs, const wchar_t* folder, const wchar_t* name,
                                      const wchar_t* suffix)
{
    // Callers' folders end with a backslash ("\Name\"): a second one would only be a run that
    // Windows reads as one, and reports would show it.
    const size_t folder_length = folder ? wcslen(folder) : 0;
    const bool folder_ends_with_separator = folder_length > 0 && folder[folder_length - 1] == L'\\';
    wchar_t* file_name = compose_shortcut_file_name(name, suffix);
    wchar_t* link_path = concat_strings(4, programs, folder, folder_ends_with_separator ? L"" : L"\\", file_name);
    free_string(&file_name);
    return link_path;
}
