#!/usr/bin/env bash
# Builds the shipped programs from a clean tree and writes the release to dist/ (emptied first):
#   scripts/release.sh [--allow-dirty] [--no-timestamp]
#   setupkit-<version>-win32.zip          setupkit-<version>-win32/: the programs, the custom action DLL,
#                                         INSTALLING.txt, LICENSE.txt and BUILDINFO.txt (commit, version, tools)
#   setupkit-<version>-win32-symbols.zip  setupkit-<version>-win32-symbols/: their .debug files
#   SHA256SUMS                            both archives and every file in them
# <version> is the programs' full version (scripts/version.sh). The tree is the commit's: a tree
# with uncommitted changes to tracked files is refused unless --allow-dirty, which builds the
# working tree as it is and says so in BUILDINFO.txt. It is exported to build/release/ and built
# there afresh without ccache. With SETUPKIT_SIGN_PKCS12 or SETUPKIT_SIGN_COMMAND set, the programs
# are signed (scripts/sign.sh, which --no-timestamp is handed on to). The same commit gives the same
# unsigned programs, symbols and archives (their dates are SOURCE_DATE_EPOCH, by default the
# commit's time), wherever and whenever it is built with the same tools.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

allow_dirty=
sign_options=()
for option in "$@"; do
    case $option in
        --allow-dirty) allow_dirty=1 ;;
        --no-timestamp) sign_options+=(--no-timestamp) ;;
        *) echo "usage: $0 [--allow-dirty] [--no-timestamp]" >&2; exit 2 ;;
    esac
done

version=$(scripts/version.sh)
release=$(scripts/version.sh --release)
name=setupkit-$version-win32
work=$top/build/release
if ! git rev-parse --verify -q HEAD >/dev/null; then
    echo "release.sh: needs a git checkout with a commit" >&2
    exit 1
fi
commit=$(git rev-parse HEAD)
dirty=
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    dirty=1
    if [ -z "$allow_dirty" ]; then
        echo "release.sh: uncommitted changes: a release is built from a commit (--allow-dirty builds them)" >&2
        exit 2
    fi
    echo "release.sh: WARNING: uncommitted changes; this is not a release of commit $commit" >&2
fi
# The build number grows with every release: a release tag of this suite release with this number
# or a higher one on another commit means it was not raised.
while read -r tag; do
    if [ -n "$tag" ] && [ "${tag##*.}" -ge "${version##*.}" ] 2>/dev/null &&
       [ "$(git rev-parse "$tag^{commit}")" != "$commit" ]; then
        echo "release.sh: $tag was released from another commit: raise SETUPKIT_BUILD_NUMBER in CMakeLists.txt" >&2
        [ -n "$allow_dirty" ] || exit 2
    fi
done <<<"$(git tag -l "setupkit-$release.*")"
# sign.sh would refuse this only after the build.
if [ -n "${SETUPKIT_SIGN_PKCS12:-}" ] && [ -z "${SETUPKIT_SIGN_COMMAND:-}${SETUPKIT_SIGN_TIMESTAMP_URL:-}" ] &&
   [ ${#sign_options[@]} -eq 0 ]; then
    echo "release.sh: no time-stamping server (SETUPKIT_SIGN_TIMESTAMP_URL); --no-timestamp signs all the same" >&2
    exit 2
fi
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}
if ! [[ $epoch =~ ^[0-9]+$ ]]; then
    echo "release.sh: SOURCE_DATE_EPOCH \"$epoch\" is not a number of seconds" >&2
    exit 2
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
# What built it, for whoever rebuilds the release to check it: the tools' own words, and the Debian
# package each came from where dpkg knows it.
tool_version() {
    local tool package
    tool=$(realpath "$(command -v "$1")")
    printf '%s' "$("$tool" --version | head -n 1)"
    if package=$(dpkg -S "$tool" 2>/dev/null); then
        package=${package%%:*}
        printf ' (Debian package %s %s)' "$package" "$(dpkg-query -W -f='${Version}' "$package")"
    fi
}
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake)
objcopy=$(sed -n 's/^CMAKE_OBJCOPY:[A-Z]*=//p' "$build/CMakeCache.txt")
{
    echo "setupkit $version: file version $version, product version $release.0"
    echo "commit: $commit"
    if [ -n "$dirty" ]; then
        echo "tree: DIRTY: built with uncommitted changes, with --allow-dirty; not a release of this commit"
    else
        echo "tree: clean, the commit as it is"
    fi
    echo "compiler: $(tool_version "$compiler")"
    echo "binutils: $(tool_version "$objcopy")"
    echo "archiver: $(zip -v | sed -n 2p | sed 's/^ *//')"
    echo "SOURCE_DATE_EPOCH: $epoch ($(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S UTC')), every archived file's date"
} >"$stage/$name/BUILDINFO.txt"
# For the installer author's Notepad: CRLF line ends.
sed -e "s/@VERSION@/$version/g" "$work/source/installers/INSTALLING.txt" >"$stage/$name/INSTALLING.txt"
cp "$work/source/LICENSE" "$stage/$name/LICENSE.txt"
sed -i 's/$/\r/' "$stage/$name"/*.txt
if [ -n "${SETUPKIT_SIGN_COMMAND:-}${SETUPKIT_SIGN_PKCS12:-}" ]; then
    signer=${SETUPKIT_SIGN_COMMAND:+the command in SETUPKIT_SIGN_COMMAND}
    echo "== signing with ${signer:-$SETUPKIT_SIGN_PKCS12}"
    scripts/sign.sh "${sign_options[@]}" "$stage/$name"/*.exe "$stage/$name"/*.dll
fi

# Archives that depend only on their contents: one time on every entry, fixed modes, no extra
# attributes (owner, Unix times), entries in name order.
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
