#include "setupkit/messages.h"

namespace {

constexpr UINT kInformationStyle = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST;
constexpr DWORD kSystemMessageFlags =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
constexpr DWORD kUserDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
// The longest entry read, terminator included.
constexpr int kResourceTextChars = 4160;
constexpr UINT kResourceCodePage = 1252;

// Loads the resource text into a new buffer; owned by the caller (delete[]).
wchar_t* load_resource_copy(UINT string_id, HINSTANCE module, UINT id_offset)
{
    const int size = load_resource_text(string_id, module, id_offset, nullptr, 0);
    wchar_t* text = new wchar_t[size];
    text[0] = L'\0';
    load_resource_text(string_id, module, id_offset, text, size);
    return text;
}

} // namespace

void show_information(const wchar_t* text)
{
    MessageBoxW(nullptr, text, L"INFORMATION", kInformationStyle);
}

void show_system_error(DWORD error_code)
{
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(kSystemMessageFlags, nullptr, error_code, kUserDefaultLanguage,
                                        reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    // Without a text from the system there is nothing worth showing.
    if (length != 0 && message)
        show_information(message);
    if (message)
        LocalFree(message);
}

void set_dialog_item_text(const wchar_t* text, HINSTANCE, HWND dialog, int control_id)
{
    SetWindowTextW(GetDlgItem(dialog, control_id), text);
}

int load_resource_text(UINT string_id, HINSTANCE module, UINT id_offset, wchar_t* buffer, int capacity)
{
    wchar_t entry[kResourceTextChars];
    char* bytes = nullptr;
    int byte_count = 0;
    int decoded = 0;

    // A missing entry may leave the buffer untouched: it then reads as "".
    entry[0] = L'\0';
    LoadStringW(module, string_id + id_offset, entry, kResourceTextChars);

    // Flags 0: best-fit mapping, and the default character for what has no mapping at all.
    byte_count = WideCharToMultiByte(kResourceCodePage, 0, entry, -1, nullptr, 0, nullptr, nullptr);
    bytes = new char[static_cast<size_t>(byte_count) + 1];
    bytes[0] = '\0';
    if (byte_count > 0)
        WideCharToMultiByte(kResourceCodePage, 0, entry, -1, bytes, byte_count, nullptr, nullptr);
    bytes[byte_count] = '\0';

    decoded = MultiByteToWideChar(CP_UTF8, 0, bytes, -1, buffer, capacity);
    // A failed decode may leave a partial, unterminated text behind: hand back "" instead.
    if (decoded == 0 && buffer && capacity > 0)
        buffer[0] = L'\0';

    delete[] bytes;
    return decoded + 1;
}

void set_dialog_item_resource_text(UINT string_id, HINSTANCE module, HWND dialog, int control_id, UINT id_offset)
{
    wchar_t* text = load_resource_copy(string_id, module, id_offset);
    SetWindowTextW(GetDlgItem(dialog, control_id), text);
    delete[] text;
}

void set_window_resource_text(UINT string_id, HINSTANCE module, HWND window, UINT id_offset)
{
    wchar_t* text = load_resource_copy(string_id, module, id_offset);
    SetWindowTextW(window, text);
    delete[] text;
}
