#!/usr/bin/env bash
# Builds the sample installers around the shipped programs:
#   installers/build.sh PROGRAMS_DIR OUTPUT_DIR [VERSION]
# PROGRAMS_DIR is the 32-bit build tree (build/i686), or a folder that holds the three programs
# themselves (an unpacked release, signed copies). OUTPUT_DIR receives sample-suite.msi (per-machine,
# wixl) and sample-suite-user.exe (per-user, makensis). VERSION (major.minor.build) is the MSI's
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
for program in postinstall preuninstall setupcheck; do
    found=
    for candidate in "$programs/$program/$program.exe" "$programs/$program.exe"; do
        if [ -f "$candidate" ]; then found=$candidate; break; fi
    done
    if [ -z "$found" ]; then
        echo "build.sh: no $program.exe in $programs: build the mingw-i686 preset first" >&2
        exit 1
    fi
    cp "$found" "$staging/"
done

# An empty stand-in for the suite's launcher, which the suite's own installer brings: the shortcut
# that postinstall creates starts it, and setupcheck counts a shortcut without its target as a fault.
: >"$staging/runfen2.exe"

# The product code follows from the version (a name-based UUID): a rebuild of one version is the
# same product, which msiexec then repairs; another version is another product.
hash=$(printf 'setupkit sample suite %s' "$version" | sha1sum)
product_code=$(printf '%s-%s-5%s-%x%s-%s' "${hash:0:8}" "${hash:8:4}" "${hash:13:3}" \
    $(( (0x${hash:16:1} & 3) | 8 )) "${hash:17:3}" "${hash:20:12}")

# wixl exits with 0 even when it cannot write the package: only a new file shows success.
rm -f "$output/sample-suite.msi" "$output/sample-suite-user.exe"
# wixl resolves file sources only relative to the working directory or the source's folder.
(cd "$staging" && wixl -a x86 -D ProgramsDir=. -D Version="$version" -D ProductCode="${product_code^^}" \
    -o "$output/sample-suite.msi" "$here/sample-suite.wxs")
makensis -V2 -DPROGRAMS_DIR="$staging" -DOUTPUT="$output/sample-suite-user.exe" "$here/sample-suite.nsi"
for built in sample-suite.msi sample-suite-user.exe; do
    if [ ! -s "$output/$built" ]; then
        echo "build.sh: $output/$built was not built" >&2
        exit 1
    fi
done
echo "built $output/sample-suite.msi (version $version, product code {${product_code^^}}) and $output/sample-suite-user.exe"
