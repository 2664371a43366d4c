#!/usr/bin/env bash
# Builds the sample installers around the shipped programs:
#   installers/build.sh PROGRAMS_DIR OUTPUT_DIR
# PROGRAMS_DIR is the 32-bit build tree (build/i686); OUTPUT_DIR receives sample-suite.msi
# (per-machine, wixl) and sample-suite-user.exe (per-user, makensis).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
programs=$(cd "$1" && pwd)
mkdir -p "$2"
output=$(cd "$2" && pwd)

for program in postinstall/postinstall.exe preuninstall/preuninstall.exe; do
    if [ ! -f "$programs/$program" ]; then
        echo "build.sh: $programs/$program is missing: build the mingw-i686 preset first" >&2
        exit 1
    fi
done

# wixl exits with 0 even when it cannot write the package: only a new file shows success.
rm -f "$output/sample-suite.msi" "$output/sample-suite-user.exe"
# wixl resolves file sources only relative to the working directory or the source's folder.
(cd "$programs" && wixl -a x86 -D ProgramsDir=. -o "$output/sample-suite.msi" "$here/sample-suite.wxs")
makensis -V2 -DPROGRAMS_DIR="$programs" -DOUTPUT="$output/sample-suite-user.exe" "$here/sample-suite.nsi"
for built in sample-suite.msi sample-suite-user.exe; do
    if [ ! -s "$output/$built" ]; then
        echo "build.sh: $output/$built was not built" >&2
        exit 1
    fi
done
echo "built $output/sample-suite.msi and $output/sample-suite-user.exe"
