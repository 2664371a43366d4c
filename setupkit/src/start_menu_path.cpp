#include "start_menu_path.h"

#include "path_compare.h"

#include <windows.h>

#include <cwchar>

namespace {

// Without the "\\?\" prefix and long-path awareness, which older Windows lacks, a path of MAX_PATH
// characters or more can be neither created nor removed; Wine creates them all the same.
constexpr size_t kLongestPath = MAX_PATH - 1;

const wchar_t* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
const wchar_t* const kNumberedDevices[] = {L"COM", L"LPT"};

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

} // namespace

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

bool names_no_subfolder(const wchar_t* piece)
{
    return !piece || wcsspn(piece, L"\\/. ") == wcslen(piece);
}

bool starts_beside_programs_folder(const wchar_t* piece)
{
    return piece && piece[0] != L'\0' && piece[0] != L'\\';
}

bool beyond_start_menu_reach(const wchar_t* path, size_t programs_length)
{
    if (wcslen(path) > kLongestPath)
        return true;
    for (const wchar_t* component = path + programs_length;;) {
        const size_t length = wcscspn(component, L"\\/");
        if (is_device_name(component, length))
            return true;
        if (component[length] == L'\0')
            return false;
        component += length + 1;
    }
}
