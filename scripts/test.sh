#!/usr/bin/env bash
# Builds both architectures and runs every test under Wine, each tree in its own private prefix:
# the shipped 32-bit build under WoW64, then the x86_64 build. Ends with the shipped programs' sizes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-prerequisites.sh
scripts/build.sh

started=$SECONDS
for preset in mingw-i686 mingw-x86_64; do
    echo "== running the tests of $preset under Wine"
    ctest --preset "$preset"
done
echo "== all tests passed in $((SECONDS - started)) s"

# A benchmark, not a test: where each shipped program stands against 64 KiB.
echo "== shipped programs (build/i686, stripped; debug information beside each in .debug)"
while read -r name path; do
    awk -v name="$name.exe" -v bytes="$(stat -c %s "$path")" -v debug="$(stat -c %s "$path.debug")" 'BEGIN {
        printf "   %-16s %7d bytes = %5.1f KiB, %3d%% of the 64 KiB goal (debug information %d KiB)\n",
               name, bytes, bytes / 1024, bytes * 100 / 65536, debug / 1024 }'
done < build/i686/shipped-programs.txt
