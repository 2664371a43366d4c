#!/usr/bin/env bash
# Builds both architectures, each with its tests: build/i686 (the shipped 32-bit programs) and
# build/x86_64. A first build compiles GoogleTest twice: about two minutes on 2 cores. On a host that
# cannot run 32-bit programs, build/i686 holds only what ships, and build/x86_64 also the programs'
# and installers' tests, run on a 64-bit build of the programs (scripts/test.sh says so).
set -euo pipefail
cd "$(dirname "$0")/.."

# Without 32-bit support the i686 tree's tests could not run: only what ships is built there.
program_tests=OFF shipped_tests=ON
scripts/wine/runs-32-bit.sh || program_tests=ON shipped_tests=OFF
for preset in mingw-i686 mingw-x86_64; do
    echo "== building $preset"
    if [ "$preset" = mingw-x86_64 ]; then
        cmake --preset "$preset" -DSETUPKIT_PROGRAM_TESTS=$program_tests >/dev/null
    else
        cmake --preset "$preset" -DSETUPKIT_BUILD_TESTS=$shipped_tests >/dev/null
    fi
    cmake --build --preset "$preset"
done
