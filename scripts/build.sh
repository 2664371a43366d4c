#!/usr/bin/env bash
# Builds both architectures, each with its tests: build/i686 (the shipped 32-bit programs) and
# build/x86_64. A first build compiles GoogleTest twice and takes several minutes. On a host that
# cannot run 32-bit programs, build/x86_64 also holds the programs' and installers' tests, run on a
# 64-bit build of the programs (scripts/test.sh says so when it runs them).
set -euo pipefail
cd "$(dirname "$0")/.."

program_tests=OFF
scripts/wine/runs-32-bit.sh || program_tests=ON
for preset in mingw-i686 mingw-x86_64; do
    echo "== building $preset"
    if [ "$preset" = mingw-x86_64 ]; then
        cmake --preset "$preset" -DSETUPKIT_PROGRAM_TESTS=$program_tests >/dev/null
    else
        cmake --preset "$preset" >/dev/null
    fi
    cmake --build --preset "$preset"
done
