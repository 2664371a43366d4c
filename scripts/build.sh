#!/usr/bin/env bash
# Builds both architectures, each with its tests: build/i686 (the shipped 32-bit programs) and
# build/x86_64. A first build compiles GoogleTest twice and takes several minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in mingw-i686 mingw-x86_64; do
    echo "== building $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
