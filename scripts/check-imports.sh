#!/usr/bin/env bash
# Reads the import table of each shipped file of each build tree with the tree's own objdump: every
# file imports system DLLs only, and each file of a 32-bit tree exactly the functions of its reviewed
# list (resources/tests/<name>.imports; a new import must be reviewed: does the oldest supported
# Windows have it?). The lists are the release's, 32-bit, linked by mingw-w64 against msvcrt.dll: a
# 64-bit build imports the same functions under other undecorated names and without some of them.
#   scripts/check-imports.sh BUILD_DIR...
set -euo pipefail
cd "$(dirname "$0")/.."

system_dlls=" kernel32.dll user32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll msvcrt.dll "
status=0
for tree in "$@"; do
    objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$tree/CMakeCache.txt")
    while read -r name path; do
        table=$("$objdump" -p "$path")
        dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$table" | tr '[:upper:]' '[:lower:]')
        if [ -z "$dlls" ]; then
            echo "== $path imports nothing: its import table was not read" >&2
            status=1
        fi
        for dll in $dlls; do
            if [[ $system_dlls != *" $dll "* ]]; then
                echo "== $path imports $dll, which is no system DLL" >&2
                status=1
            fi
        done
        [[ $objdump == *i686-w64-mingw32-objdump ]] || continue
        reviewed=resources/tests/$name.imports
        imported=$(awk '
            /^\tDLL Name: / { dll = tolower($3); next }
            /^\tvma:/ { next }
            dll != "" && NF == 0 { dll = ""; next }
            dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll " " $3 }' <<<"$table" | LC_ALL=C sort)
        if [ ! -s "$reviewed" ]; then
            echo "== $path has no reviewed import list $reviewed" >&2
            status=1
        elif ! difference=$(diff <(grep -v '^#' "$reviewed" | LC_ALL=C sort) <(echo "$imported")); then
            echo "== $path imports other functions than $reviewed lists (< listed, > imported):" >&2
            echo "$difference" >&2
            status=1
        fi
    done <"$tree/shipped-programs.txt"
done
exit $status
