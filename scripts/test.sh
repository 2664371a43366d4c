#!/usr/bin/env bash
# Builds both architectures, checks the workflows (scripts/check-workflows.sh), the links between the
# Markdown pages (scripts/check-links.py) and what the shipped files import (scripts/check-imports.sh:
# system DLLs only, the 32-bit files exactly their reviewed functions), then runs every test under
# Wine, each tree in its own private prefix: the shipped 32-bit build under WoW64, then the x86_64
# build; meanwhile the second compiler (scripts/second-compiler.sh: clang, and clang-cl in MSVC mode)
# takes every product target, its output in build/second-compiler.log. Then builds the release from a
# clean tree (scripts/release.sh: the shipped programs a second time, in another directory, without
# ccache) and checks that it holds byte for byte what the tests ran. Ends with the programs' sizes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-prerequisites.sh
scripts/build.sh
scripts/check-workflows.sh
scripts/check-links.py
scripts/check-imports.sh build/i686 build/x86_64
echo "== the shipped files import system DLLs only, the 32-bit ones exactly their reviewed functions"

started=$SECONDS
mkdir -p build
scripts/second-compiler.sh >build/second-compiler.log 2>&1 &
second_compiler=$!
presets=(mingw-i686 mingw-x86_64)
if ! scripts/wine/runs-32-bit.sh; then
    presets=(mingw-x86_64)
    echo "== THIS HOST CANNOT RUN 32-BIT PROGRAMS (the 32-bit Wine loader is missing or refused): the shipped"
    echo "   32-bit build is built and released byte for byte, but not run; its tests, the programs' and"
    echo "   installers' included, run on the x86_64 build of the same sources"
fi
for preset in "${presets[@]}"; do
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
# The release of what the tests ran, uncommitted changes included: BUILDINFO.txt then says so.
env -u SETUPKIT_SIGN_PKCS12 -u SETUPKIT_SIGN_COMMAND scripts/release.sh --allow-dirty
name=setupkit-$(scripts/version.sh)-win32
check=build/release/check
mkdir -p "$check"
cp dist/* "$check/"
(cd "$check" && unzip -q -o "$name.zip" && unzip -q -o "$name-symbols.zip" && sha256sum -c --quiet SHA256SUMS)
# Same sources, same bytes: the release's build against the tests' (ccache or not).
same() {
    cmp "$1" "$2" || { echo "== two builds of the same sources differ: not reproducible" >&2; exit 1; }
}
expected=("$name/INSTALLING.txt" "$name/LICENSE.txt" "$name/BUILDINFO.txt")
while read -r program path; do
    file=$(basename "$path")
    expected+=("$name/$file" "$name-symbols/$file.debug")
    same "$path" "$check/$name/$file"
    same "$path.debug" "$check/$name-symbols/$file.debug"
done < build/i686/shipped-programs.txt
contents=$( (unzip -Z1 "dist/$name.zip"; unzip -Z1 "dist/$name-symbols.zip") | LC_ALL=C sort)
if [ "$contents" != "$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)" ]; then
    echo "== the release holds other files than expected:" >&2
    echo "$contents" >&2
    exit 1
fi
tree="tree: clean"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then tree="tree: DIRTY"; fi
for line in "setupkit $(scripts/version.sh): " "commit: $(git rev-parse HEAD)" "$tree" "compiler: " "binutils: " \
            "SOURCE_DATE_EPOCH: "; do
    if ! tr -d '\r' <"$check/$name/BUILDINFO.txt" | grep -q "^$line"; then
        echo "== BUILDINFO.txt lacks \"$line\":" >&2
        cat "$check/$name/BUILDINFO.txt" >&2
        exit 1
    fi
done
tr -d '\r' <"$check/$name/LICENSE.txt" | cmp - LICENSE
# A release is a commit: release.sh refuses a tree whose tracked files differ from it, before it builds.
refused=build/release/refused
mkdir "$refused"
tar -C build/release/source --exclude=./build -c . | tar -x -C "$refused"
(cd "$refused" && git init -q && git add -A && git -c user.name=test -c user.email=test@invalid commit -qm tree)
echo "changed" >>"$refused/LICENSE"
if (cd "$refused" && scripts/release.sh) >"$refused.log" 2>&1 || [ -e "$refused/build/release" ]; then
    echo "== release.sh built a tree with uncommitted changes:" >&2
    cat "$refused.log" >&2
    exit 1
fi
echo "== dist/ holds what build/i686 built, byte for byte, checksums right, with BUILDINFO and LICENSE;" \
     "a changed tree refused ($((SECONDS - started)) s)"

# A benchmark, not a test: where each shipped program stands against 64 KiB.
echo "== shipped programs (build/i686, stripped; debug information beside each in .debug)"
while read -r name path; do
    awk -v name="$(basename "$path")" -v bytes="$(stat -c %s "$path")" -v debug="$(stat -c %s "$path.debug")" 'BEGIN {
        printf "   %-25s %7d bytes = %5.1f KiB, %3d%% of the 64 KiB goal (debug information %d KiB)\n",
               name, bytes, bytes / 1024, bytes * 100 / 65536, debug / 1024 }'
done < build/i686/shipped-programs.txt
