#!/usr/bin/env bash
# Builds both architectures and checks the workflows (scripts/check-workflows.sh), then runs every
# test under Wine, each tree in its own private prefix: the shipped 32-bit build under WoW64, then
# the x86_64 build; meanwhile the second compiler (scripts/second-compiler.sh: clang, and clang-cl in
# MSVC mode) takes every product target, its output in build/second-compiler.log. Then builds the
# release from a clean tree (scripts/release.sh: the shipped programs a second time, in another
# directory, without ccache) and checks that it holds byte for byte what the tests ran. Ends with
# the programs' sizes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-prerequisites.sh
scripts/build.sh
scripts/check-workflows.sh

started=$SECONDS
mkdir -p build
scripts/second-compiler.sh >build/second-compiler.log 2>&1 &
second_compiler=$!
for preset in mingw-i686 mingw-x86_64; do
    echo "== running the tests of $preset under Wine"
    ctest --preset "$preset"
done
echo "== all tests passed in $((SECONDS - started)) s"
if ! wait "$second_compiler"; then
    cat build/second-compiler.log
    echo "== the second compiler rejects the product (build/second-compiler.log)" >&2
    exit 1
fi
grep '^== ' build/second-compiler.log

started=$SECONDS
env -u SETUPKIT_SIGN_PKCS12 scripts/release.sh
name=setupkit-$(sed -n 's/^project(setupkit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-win32
check=build/release/check
mkdir -p "$check"
cp dist/* "$check/"
(cd "$check" && unzip -q -o "$name.zip" && unzip -q -o "$name-symbols.zip" && sha256sum -c --quiet SHA256SUMS)
# Same sources, same bytes: the release's build against the tests' (ccache or not).
same() {
    cmp "$1" "$2" || { echo "== two builds of the same sources differ: not reproducible" >&2; exit 1; }
}
expected=("$name/INSTALLING.txt")
while read -r program path; do
    expected+=("$name/$program.exe" "$name-symbols/$program.exe.debug")
    same "$path" "$check/$name/$program.exe"
    same "$path.debug" "$check/$name-symbols/$program.exe.debug"
done < build/i686/shipped-programs.txt
contents=$( (unzip -Z1 "dist/$name.zip"; unzip -Z1 "dist/$name-symbols.zip") | LC_ALL=C sort)
if [ "$contents" != "$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)" ]; then
    echo "== the release holds other files than expected:" >&2
    echo "$contents" >&2
    exit 1
fi
echo "== dist/ holds what build/i686 built, byte for byte, checksums right ($((SECONDS - started)) s)"

# A benchmark, not a test: where each shipped program stands against 64 KiB.
echo "== shipped programs (build/i686, stripped; debug information beside each in .debug)"
while read -r name path; do
    awk -v name="$name.exe" -v bytes="$(stat -c %s "$path")" -v debug="$(stat -c %s "$path.debug")" 'BEGIN {
        printf "   %-16s %7d bytes = %5.1f KiB, %3d%% of the 64 KiB goal (debug information %d KiB)\n",
               name, bytes, bytes / 1024, bytes * 100 / 65536, debug / 1024 }'
done < build/i686/shipped-programs.txt
