// A growing line of text for reports and logs, written out as UTF-8. Plain new[] storage, no C++
// containers: this code ships inside the programs.
#pragma once

#include <windows.h>

#include <cstddef>

class Text {
public:
    Text() = default;
    ~Text();
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    Text& add(const wchar_t* text);
    Text& add(const wchar_t* text, size_t length);
    Text& add_number(long number);
    Text& add_hex(unsigned long number); // 0x0000ABCD
    // A JSON string literal, quotes included.
    Text& add_json(const wchar_t* text);
    // Spaces up to `column` characters after the text's last line feed (at least one).
    Text& pad_to(size_t column);
    const wchar_t* c_str() const { return data_ ? data_ : L""; }
    size_t length() const { return length_; }
    void clear();
    // Writes the text as UTF-8 to the handle; false when not all of it was written.
    bool write_utf8(HANDLE file) const;

private:
    wchar_t* data_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
};

// Writes first, second and third one after another into `buffer` (`capacity` characters) when all of
// them and the terminator fit, and returns true; otherwise leaves "" there and returns false: a path
// cut short would name another file. The one way the reports compose a path into a fixed buffer.
bool compose_path(wchar_t* buffer, size_t capacity, const wchar_t* first, const wchar_t* second,
                  const wchar_t* third = L"");
