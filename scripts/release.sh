#!/usr/bin/env bash
# Builds the shipped programs from a clean tree and writes the release to dist/ (emptied first):
#   setupkit-<version>-win32.zip          setupkit-<version>-win32/: the programs, the custom action DLL
#                                         and INSTALLING.txt
#   setupkit-<version>-win32-symbols.zip  setupkit-<version>-win32-symbols/: their .debug files
#   SHA256SUMS                            both archives and every file in them
# The tree is what git tracks, as the working tree has it (uncommitted changes are reported),
# exported to build/release/ and built there afresh without ccache. With SETUPKIT_SIGN_PKCS12 set,
# the programs are signed (scripts/sign.sh). The same commit gives the same unsigned programs,
# symbols and archives (their dates are the commit's), wherever and whenever it is built.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

version=$(sed -n 's/^project(setupkit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=setupkit-$version-win32
work=$top/build/release
if ! git rev-parse --verify -q HEAD >/dev/null; then
    echo "release.sh: needs a git checkout with a commit" >&2
    exit 1
fi
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: WARNING: uncommitted changes; this is not a release of commit $commit" >&2
fi

echo "== building setupkit $version from a clean tree in $work"
rm -rf "$work"
mkdir -p "$work/source"
# `git stash create` records the working tree's tracked files without touching anything.
tree=$(git stash create)
git archive "${tree:-HEAD}" | tar -x -C "$work/source"
(
    cd "$work/source"
    export CCACHE_DISABLE=1
    unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
    cmake --preset mingw-i686 -DSETUPKIT_BUILD_TESTS=OFF >/dev/null
    cmake --build --preset mingw-i686 >/dev/null
)
build=$work/source/build/i686

stage=$work/stage
mkdir -p "$stage/$name" "$stage/$name-symbols"
# The programs and the custom action DLL, under the names they were built with.
while read -r program path; do
    cp "$path" "$stage/$name/"
    cp "$path.debug" "$stage/$name-symbols/"
done <"$build/shipped-programs.txt"
# For the installer author's Notepad: CRLF line ends.
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$work/source/installers/INSTALLING.txt" >"$stage/$name/INSTALLING.txt"
if [ -n "${SETUPKIT_SIGN_PKCS12:-}" ]; then
    echo "== signing with $SETUPKIT_SIGN_PKCS12"
    scripts/sign.sh "$stage/$name"/*.exe "$stage/$name"/*.dll
fi

# Archives that depend only on their contents: the commit's time on every entry, fixed modes, no
# extra attributes (owner, Unix times), entries in name order.
epoch=$(git log -1 --format=%ct HEAD)
find "$stage" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$epoch" {} +
rm -rf dist
mkdir dist
(
    cd "$stage"
    for archive in "$name" "$name-symbols"; do
        find "$archive" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q -9 "$top/dist/$archive.zip" -@
    done
    (cd "$top/dist" && sha256sum "$name.zip" "$name-symbols.zip") >"$top/dist/SHA256SUMS"
    find "$name" "$name-symbols" -type f | LC_ALL=C sort | xargs sha256sum >>"$top/dist/SHA256SUMS"
)
echo "== dist/ (commit $commit)"
ls -l dist
