#!/usr/bin/env bash
# Builds both architectures: the shipped 32-bit programs and the x86_64 build that the tests run.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in mingw-i686 mingw-x86_64; do
    echo "== building $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
