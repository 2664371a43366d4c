#!/usr/bin/env bash
# Builds the sample installers around the shipped programs:
#   installers/build.sh PROGRAMS_DIR OUTPUT_DIR [VERSION]
# PROGRAMS_DIR is the 32-bit build tree (build/i686), or a folder that holds the three programs and
# the custom action DLL themselves (an unpacked release, signed copies). OUTPUT_DIR receives
# sample-suite.msi (per-machine, wixl), sample-suite-user.exe (per-user, makensis) and
# sample-suite-machine.exe (per-machine, makensis). VERSION (major.minor.build) is the MSI's
# product version, by default the project's from CMakeLists.txt; each version is a product of its
# own, which a higher version replaces (major upgrade).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
programs=$(cd "$1" && pwd)
mkdir -p "$2"
output=$(cd "$2" && pwd)
version=${3:-$(sed -n 's/^project(setupkit VERSION \([0-9.]*\).*/\1/p' "$here/../CMakeLists.txt")}
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    echo "build.sh: version \"$version\" is not major.minor.build" >&2
    exit 2
fi

# The programs side by side, as both installers take them.
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
# Each file as the build tree places it, or side by side.
for built in postinstall/postinstall.exe preuninstall/preuninstall.exe setupcheck/setupcheck.exe \
             installers/broadcast/environment_broadcast.dll; do
    file=$(basename "$built")
    found=
    for candidate in "$programs/$built" "$programs/$file"; do
        if [ -f "$candidate" ]; then found=$candidate; break; fi
    done
    if [ -z "$found" ]; then
        echo "build.sh: no $file in $programs: build the mingw-i686 preset first" >&2
        exit 1
    fi
    cp "$found" "$staging/"
done

# The shipped programs are 32-bit. A host that cannot run 32-bit code tests a 64-bit build of them,
# which goes into 64-bit installers: the same sources, another target (the PE header's machine field).
machine=$(od -An -tx2 -j "$(od -An -tu4 -j 60 -N4 "$staging/postinstall.exe" | tr -d ' ')" -N6 \
    "$staging/postinstall.exe" | awk '{print $3}')
case $machine in
    014c) msi_arch=x86 program_files=ProgramFilesFolder nsis_target=() ;;
    8664) msi_arch=x64 program_files=ProgramFiles64Folder nsis_target=(-X"Target amd64-unicode") ;;
    *) echo "build.sh: postinstall.exe is neither i386 nor x86_64 (machine $machine)" >&2; exit 1 ;;
esac

# An empty stand-in for the suite's launcher, which the suite's own installer brings: the shortcut
# that postinstall creates starts it, and setupcheck counts a shortcut without its target as a fault.
: >"$staging/runfen2.exe"

# The product code follows from the version (a name-based UUID): a rebuild of one version is the
# same product, which msiexec then repairs; another version is another product.
hash=$(printf 'setupkit sample suite %s' "$version" | sha1sum)
product_code=$(printf '%s-%s-5%s-%x%s-%s' "${hash:0:8}" "${hash:8:4}" "${hash:13:3}" \
    $(( (0x${hash:16:1} & 3) | 8 )) "${hash:17:3}" "${hash:20:12}")

# wixl exits with 0 even when it cannot write the package: only a new file shows success.
rm -f "$output/sample-suite.msi" "$output/sample-suite-user.exe" "$output/sample-suite-machine.exe"
# wixl resolves file sources only relative to the working directory or the source's folder.
(cd "$staging" && wixl -a "$msi_arch" -D ProgramsDir=. -D Version="$version" -D ProductCode="${product_code^^}" \
    -D ProgramFiles="$program_files" \
    -o "$output/sample-suite.msi" "$here/sample-suite.wxs")
# What wixl 0.101 cannot write, msibuild (msitools) corrects in the package:
# - MajorUpgrade's Schedule is ignored, RemoveExistingProducts lands at 1401 (after InstallValidate):
#   it moves to 1501, right after InstallInitialize, where WiX's afterInstallInitialize puts it;
# - Execute="rollback" becomes an immediate action (no in-script bits): the undoing actions get the
#   type of a rollback action, not impersonated (0x400 + 0x100 + 0x800 + 64 + 18);
# - the File table's Version column stays empty, so that Windows Installer would take every program
#   for an unversioned file and never apply its version rules: each program gets its FILEVERSION.
msi_query() {
    msibuild "$output/sample-suite.msi" -q "$1"
}
msi_query "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 1501 WHERE \`Action\` = 'RemoveExistingProducts'"
msi_query "UPDATE \`CustomAction\` SET \`Type\` = 3410
           WHERE \`Action\` = 'UndoPostinstall' OR \`Action\` = 'UndoPreuninstall'"
# The fixed file information (VS_FIXEDFILEINFO) follows its signature 0xFEEF04BD and the structure
# version; its file version is two little-endian DWORDs, each high word first in the dotted form.
file_version() {
    local at words
    at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -1 | cut -d: -f1)
    [ -n "$at" ] || { echo "build.sh: $1 has no version resource" >&2; return 1; }
    read -r -a words < <(od -An -tu2 -j $((at + 8)) -N8 "$1")
    echo "${words[1]}.${words[0]}.${words[3]}.${words[2]}"
}
for program in postinstall preuninstall setupcheck; do
    msi_query "UPDATE \`File\` SET \`Version\` = '$(file_version "$staging/$program.exe")'
               WHERE \`File\` = '$program.exe'"
done
makensis -V2 "${nsis_target[@]}" -DPROGRAMS_DIR="$staging" -DOUTPUT="$output/sample-suite-user.exe" "$here/sample-suite.nsi"
makensis -V2 "${nsis_target[@]}" -DPROGRAMS_DIR="$staging" -DOUTPUT="$output/sample-suite-machine.exe" "$here/sample-suite-machine.nsi"
for built in sample-suite.msi sample-suite-user.exe sample-suite-machine.exe; do
    if [ ! -s "$output/$built" ]; then
        echo "build.sh: $output/$built was not built" >&2
        exit 1
    fi
done
echo "built $output/sample-suite.msi (version $version, product code {${product_code^^}})," \
    "$output/sample-suite-user.exe and $output/sample-suite-machine.exe"
