#!/usr/bin/env bash
# Compares what each shipped file of a build tree imports with its reviewed list
# (resources/tests/<name>.imports), reading the import tables with objdump: the same check that
# deliverables_test makes when it runs, for a host that cannot run the 32-bit build.
#   scripts/check-imports.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
while read -r name path; do
    base=$(basename "$path")
    reviewed=resources/tests/${base%.*}.imports
    imported=$(i686-w64-mingw32-objdump -p "$path" | awk '
        /^\tDLL Name: / { dll = tolower($3); next }
        /^\tvma:/ { next }
        dll != "" && NF == 0 { dll = ""; next }
        dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll " " $3 }' | LC_ALL=C sort)
    if ! diff <(grep -v '^#' "$reviewed" | LC_ALL=C sort) <(echo "$imported") >"$path.imports-diff"; then
        echo "== $base imports other functions than $reviewed lists (< listed, > imported):" >&2
        cat "$path.imports-diff" >&2
        status=1
    fi
    rm -f "$path.imports-diff"
done <"$1/shipped-programs.txt"
exit $status
