#include "setupkit/strings.h"

#include <cstdarg>
#include <cwchar>

wchar_t* concat_strings(unsigned int count, ...)
{
    size_t total = 0;
    va_list pieces;
    va_start(pieces, count);
    for (unsigned int i = 0; i < count; ++i) {
        const wchar_t* piece = va_arg(pieces, const wchar_t*);
        if (piece)
            total += wcslen(piece);
    }
    va_end(pieces);

    wchar_t* joined = new wchar_t[total + 1];
    wchar_t* end = joined;
    va_start(pieces, count);
    for (unsigned int i = 0; i < count; ++i) {
        const wchar_t* piece = va_arg(pieces, const wchar_t*);
        if (piece) {
            const size_t length = wcslen(piece);
            wmemcpy(end, piece, length);
            end += length;
        }
    }
    va_end(pieces);
    *end = L'\0';
    return joined;
}

void free_string(wchar_t** string)
{
    if (*string) {
        delete[] *string;
        *string = nullptr;
    }
}
