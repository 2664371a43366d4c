#include "setupkit/start_menu_path.h"

#include "path_compare.h"

#include "setupkit/link_path.h"
#include "setupkit/strings.h"

#include <windows.h>

#include <cwchar>

namespace {

// Without the "\\?\" prefix and long-path awareness, which older Windows lacks, a path of MAX_PATH
// characters or more can be neither created nor removed; Wine creates them all the same.
constexpr size_t kLongestPath = MAX_PATH - 1;

const wchar_t* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
const wchar_t* const kNumberedDevices[] = {L"COM", L"LPT"};

// The reasons a start-menu name is refused, as the step log and setupcheck report them.
const wchar_t kBreaksFileName[] =
    L"the revision suffix holds a character that no file name may hold (\\ / < > : \" | ? * or a control character)";
const wchar_t kLeavesProgramsFolder[] = L"it would lead out of the Programs folder (a \":\" or a \"..\" level)";
const wchar_t kBesideProgramsFolder[] = L"it would lie beside the Programs folder (no backslash before the folder)";
const wchar_t kProgramsFolderItself[] = L"it names the Programs folder itself";
const wchar_t kTooLong[] = L"the path is MAX_PATH (260) characters or more";
const wchar_t kDevice[] = L"a level is named like a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$)";

bool is_device_digit(wchar_t digit)
{
    // The superscript digits one to three count as Windows counts them.
    return (digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

// Windows reads "nul", "NUL.txt" and "nul  .lnk" alike as the device: what precedes the first dot,
// trailing spaces cut, decides (Naming Files, Paths, and Namespaces on Microsoft Learn).
bool is_device_name(const wchar_t* component, size_t length)
{
    size_t base = 0;
    while (base < length && component[base] != L'.')
        ++base;
    while (base > 0 && component[base - 1] == L' ')
        --base;
    for (const wchar_t* name : kDeviceNames) {
        if (wcslen(name) == base && same_path_text(component, name, base))
            return true;
    }
    for (const wchar_t* prefix : kNumberedDevices) {
        if (base == 4 && same_path_text(component, prefix, 3) && is_device_digit(component[3]))
            return true;
    }
    return false;
}

// Why Windows could not make or reach the path below the Programs folder (its first
// `programs_length` characters), or null: MAX_PATH characters or more with its separators as
// written, or a level named like a device, with any extension or trailing spaces ("nul.txt", "COM1 ").
const wchar_t* reach_refusal(const wchar_t* path, size_t programs_length)
{
    if (wcslen(path) > kLongestPath)
        return kTooLong;
    for (const wchar_t* component = path + programs_length;;) {
        const size_t length = wcscspn(component, L"\\/");
        if (is_device_name(component, length))
            return kDevice;
        if (component[length] == L'\0')
            return nullptr;
        component += length + 1;
    }
}

// A suffix that cannot be part of one file name. Dots, spaces and device names can: the file name
// always starts with the shortcut's name and a space, and ends with ".lnk" ("Tool CON.lnk").
bool breaks_file_name(const wchar_t* suffix)
{
    if (!suffix)
        return false;
    for (const wchar_t* at = suffix; *at; ++at) {
        if (*at < 32 || wcschr(L"\\/<>:\"|?*", *at))
            return true;
    }
    return false;
}

// True when the piece could lead a path out of the Programs folder: a ":" (drive or stream) or a
// ".." component. Components such as ".. " or "..." count too: Win32 path normalisation trims
// trailing dots and spaces, and no start-menu name needs them.
bool leaves_programs_folder(const wchar_t* piece)
{
    if (!piece)
        return false;
    if (wcschr(piece, L':'))
        return true;
    const wchar_t* component = piece;
    for (;;) {
        const size_t length = wcscspn(component, L"\\/");
        size_t dots = 0;
        for (size_t at = 0; at < length; ++at)
            dots += component[at] == L'.' ? 1 : 0;
        if (dots >= 2 && wcsspn(component, L". ") == length)
            return true;
        if (component[length] == L'\0')
            return false;
        component += length + 1;
    }
}

// True when the piece names nothing but the folder it is appended to (only separators, dots, spaces).
bool names_no_subfolder(const wchar_t* piece)
{
    return !piece || wcsspn(piece, L"\\/. ") == wcslen(piece);
}

// True when a non-empty folder argument or relative path does not begin with a backslash: joined to
// the Programs folder it would name a folder beside it ("Evil\" gives "...\ProgramsEvil\").
bool starts_beside_programs_folder(const wchar_t* piece)
{
    return piece && piece[0] != L'\0' && piece[0] != L'\\';
}

} // namespace

const wchar_t* start_menu_shortcut_refusal(const wchar_t* programs, const wchar_t* folder, const wchar_t* name,
                                           const wchar_t* suffix)
{
    const wchar_t* refusal = nullptr;
    if (breaks_file_name(suffix))
        refusal = kBreaksFileName;
    else if (leaves_programs_folder(folder) || leaves_programs_folder(name))
        refusal = kLeavesProgramsFolder;
    else if (starts_beside_programs_folder(folder))
        refusal = kBesideProgramsFolder;
    if (!refusal) {
        wchar_t* link_path = compose_start_menu_link_path(programs, folder, name, suffix);
        refusal = reach_refusal(link_path, wcslen(programs));
        free_string(&link_path);
    }
    return refusal;
}

const wchar_t* start_menu_folder_refusal(const wchar_t* programs, const wchar_t* relative_path)
{
    const wchar_t* refusal = nullptr;
    if (leaves_programs_folder(relative_path))
        refusal = kLeavesProgramsFolder;
    else if (names_no_subfolder(relative_path))
        refusal = kProgramsFolderItself;
    else if (starts_beside_programs_folder(relative_path))
        refusal = kBesideProgramsFolder;
    if (!refusal) {
        wchar_t* path = concat_strings(2, programs, relative_path);
        refusal = reach_refusal(path, wcslen(programs));
        free_string(&path);
    }
    return refusal;
}
