#include "diagnostics/text.h"

#include <cstring>
#include <cwchar>

Text::~Text()
{
    delete[] data_;
}

Text& Text::add(const wchar_t* text)
{
    return add(text, text ? wcslen(text) : 0);
}

Text& Text::add(const wchar_t* text, size_t length)
{
    if (length == 0)
        return *this;
    if (length_ + length + 1 > capacity_) {
        const size_t capacity = (length_ + length + 1) * 2;
        wchar_t* grown = new wchar_t[capacity];
        if (data_)
            memcpy(grown, data_, length_ * sizeof(wchar_t));
        delete[] data_;
        data_ = grown;
        capacity_ = capacity;
    }
    memcpy(data_ + length_, text, length * sizeof(wchar_t));
    length_ += length;
    data_[length_] = L'\0';
    return *this;
}

Text& Text::add_number(long number)
{
    wchar_t digits[16];
    wsprintfW(digits, L"%ld", number);
    return add(digits);
}

Text& Text::add_hex(unsigned long number)
{
    wchar_t digits[16];
    wsprintfW(digits, L"0x%08lX", number);
    return add(digits);
}

Text& Text::add_json(const wchar_t* text)
{
    add(L"\"");
    for (const wchar_t* at = text; *at; ++at) {
        wchar_t escaped[8];
        if (*at == L'"' || *at == L'\\') {
            escaped[0] = L'\\';
            escaped[1] = *at;
            add(escaped, 2);
        } else if (*at < 0x20) {
            wsprintfW(escaped, L"\\u%04x", static_cast<unsigned>(*at));
            add(escaped);
        } else {
            add(at, 1);
        }
    }
    return add(L"\"");
}

Text& Text::pad_to(size_t column)
{
    size_t line_start = length_;
    while (line_start > 0 && data_[line_start - 1] != L'\n')
        --line_start;
    do
        add(L" ", 1);
    while (length_ - line_start < column);
    return *this;
}

void Text::clear()
{
    length_ = 0;
    if (data_)
        data_[0] = L'\0';
}

bool Text::write_utf8(HANDLE file) const
{
    bool written = false;
    char* bytes = nullptr;
    DWORD done = 0;
    int size = 0;
    if (length_ == 0)
        return true;
    size = WideCharToMultiByte(CP_UTF8, 0, data_, static_cast<int>(length_), nullptr, 0, nullptr, nullptr);
    bytes = new char[size > 0 ? size : 1];
    if (size > 0 &&
        WideCharToMultiByte(CP_UTF8, 0, data_, static_cast<int>(length_), bytes, size, nullptr, nullptr) == size)
        written = WriteFile(file, bytes, static_cast<DWORD>(size), &done, nullptr) && done == static_cast<DWORD>(size);
    delete[] bytes;
    return written;
}

bool compose_path(wchar_t* buffer, size_t capacity, const wchar_t* first, const wchar_t* second,
                  const wchar_t* third)
{
    const size_t first_length = wcslen(first);
    const size_t second_length = wcslen(second);
    const size_t third_length = wcslen(third);
    // Each part is checked against the room left, so no sum of lengths can wrap around.
    const bool fits = capacity > 0 && first_length < capacity && second_length < capacity - first_length &&
                      third_length < capacity - first_length - second_length;
    if (fits) {
        wmemcpy(buffer, first, first_length);
        wmemcpy(buffer + first_length, second, second_length);
        wmemcpy(buffer + first_length + second_length, third, third_length + 1);
    } else if (capacity > 0) {
        buffer[0] = L'\0';
    }
    return fits;
}
