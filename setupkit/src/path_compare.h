// Comparing path text as the file system compares names: ordinally, without letter case.
// (CompareStringOrdinal would do, but the programs also run on systems older than Vista.)
#pragma once

#include <windows.h>

#include <cstddef>

// True when the first `length` characters of both texts match, letter case aside.
inline bool same_path_text(const wchar_t* left, const wchar_t* right, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        // CharUpperW upper-cases a single character passed in the pointer's low word.
        const ULONG_PTR upper_left = reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(
            static_cast<ULONG_PTR>(static_cast<unsigned short>(left[i])))));
        const ULONG_PTR upper_right = reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(
            static_cast<ULONG_PTR>(static_cast<unsigned short>(right[i])))));
        if (static_cast<wchar_t>(upper_left) != static_cast<wchar_t>(upper_right))
            return false;
    }
    return true;
}
