#!/usr/bin/env bash
# The second compiler: Debian's clang builds every product target for i686-w64-mingw32 with
# -std=c++17 -pedantic-errors -Wall -Wextra -Werror (build/clang-i686, no tests), then clang-cl
# checks every product source in MSVC mode (scripts/check-msvc-mode.sh). What gcc accepts and
# MSVC rejects (GNU extensions, designated initializers before C++20) fails here.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
cmake --preset clang-i686 >/dev/null
cmake --build --preset clang-i686
echo "== clang built every product target with -Werror in $((SECONDS - started)) s"
started=$SECONDS
scripts/check-msvc-mode.sh
echo "== MSVC mode checked in $((SECONDS - started)) s"
