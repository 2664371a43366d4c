#!/usr/bin/env bash
# Compiles every product source as MSVC would see it: clang-cl /std:c++17 /permissive- /W4 /WX, and
# -Wpedantic for what MSVC rejects in C++17 and clang only warns about; for 32-bit Windows, against
# Wine's Windows and C runtime headers (libwine-dev). A check of the language and the warnings, not a
# build: nothing is generated or linked (/Zs).
#   scripts/check-msvc-mode.sh [BUILD_DIR]      (default build/msvc-mode)
# Wine ships no C++ library, so the few C++ headers the product includes are stood in for by ones
# that bring in the C headers and the names the product takes from std; Wine's headers lack one
# shell type the product uses (PIDLIST_RELATIVE), which is added the same way.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/msvc-mode}
wine_include=/usr/include/wine/wine
clang_cl=$(command -v clang-cl || command -v clang-cl-14 || true)
if [ -z "$clang_cl" ] || [ ! -d "$wine_include/windows" ]; then
    echo "check-msvc-mode.sh: needs clang-cl (clang) and Wine's headers (libwine-dev)" >&2
    exit 1
fi

shims=$build/include
mkdir -p "$shims"
for header in cctype climits cstdarg cstddef cstring cwchar; do
    printf '#pragma once\n#include <%s.h>\n' "${header#c}" >"$shims/$header"
done
echo 'namespace std { using ::toupper; using ::tolower; }' >>"$shims/cctype"
echo 'namespace std { using ::size_t; using ::ptrdiff_t; }' >>"$shims/cstddef"
cat >"$shims/new" <<'HEADER'
#pragma once
#include <stddef.h>
namespace std {
struct nothrow_t { explicit nothrow_t() = default; };
extern const nothrow_t nothrow;
}
void* operator new(size_t size, const std::nothrow_t&) noexcept;
void* operator new[](size_t size, const std::nothrow_t&) noexcept;
void operator delete(void* block, const std::nothrow_t&) noexcept;
void operator delete[](void* block, const std::nothrow_t&) noexcept;
inline void* operator new(size_t, void* where) noexcept { return where; }
HEADER
printf '#pragma once\n#include_next <shtypes.h>\ntypedef ITEMIDLIST* PIDLIST_RELATIVE;\n' >"$shims/shtypes.h"

flags=(--target=i686-pc-windows-msvc /std:c++17 /permissive- /W4 /WX -Wpedantic /Zs /X
       -imsvc "$shims" -imsvc "$wine_include/msvcrt" -imsvc "$wine_include/windows"
       -imsvc "$("$clang_cl" -print-resource-dir 2>/dev/null || clang -print-resource-dir)/include"
       # Wine's headers tell 32-bit x86 by __i386__, and make WCHAR wchar_t only when asked to.
       /D__i386__ /DWINE_UNICODE_NATIVE
       # What the top CMakeLists.txt and cmake/shipped.cmake define for MSVC and for shipped code.
       /DUNICODE /D_UNICODE /DWIN32_LEAN_AND_MEAN /DNOMINMAX /D_CRT_SECURE_NO_WARNINGS
       /D_WIN32_WINNT=0x0500 /DWINVER=0x0500 '/DSETUPKIT_VERSION=L"0"'
       -Isetupkit/include -Isetupkit/src -Isetupkit/internal -Idiagnostics/include -Isuite/include -Iresources)
# Wine's 32-bit headers define these as inline functions, which clang-cl knows as its own builtins.
for name in And64 CompareExchangePointer Decrement64 ExchangeAdd64 ExchangePointer Increment64 Or64 Xor64; do
    flags+=("/D_Interlocked$name=wine_Interlocked$name")
done

failed=0
sources=(setupkit/src/*.cpp diagnostics/src/*.cpp postinstall/*.cpp preuninstall/*.cpp setupcheck/*.cpp
         resources/program_allocation.cpp)
for source in "${sources[@]}"; do
    "$clang_cl" "${flags[@]}" "$source" || { echo "== MSVC mode rejects $source" >&2; failed=1; }
done
if [ "$failed" = 0 ]; then
    echo "== MSVC mode (clang-cl /std:c++17 /permissive- /W4 /WX): ${#sources[@]} product sources compile"
fi
exit "$failed"
