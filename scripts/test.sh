#!/usr/bin/env bash
# Builds both architectures and runs every test; the tests run under Wine in a private prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-prerequisites.sh
scripts/build.sh

echo "== checking that the shipped 32-bit programs and setupcheck import system DLLs only"
allowed='^(kernel32|user32|advapi32|shell32|shlwapi|ole32|oleaut32|msvcrt)\.dll$'
for program in build/i686/postinstall/postinstall.exe build/i686/preuninstall/preuninstall.exe \
               build/i686/setupcheck/setupcheck.exe; do
    imports=$(i686-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p')
    echo "$program: $(echo $imports)"
    if echo "$imports" | tr 'A-Z' 'a-z' | grep -v -E "$allowed"; then
        echo "$program imports a DLL that is not part of the system" >&2
        exit 1
    fi
done

echo "== running the tests under Wine"
ctest --preset mingw-x86_64
