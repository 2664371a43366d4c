#!/usr/bin/env bash
# Demonstration: builds both programs, lays out a sample install tree and runs the programs from it
# under Wine, as an installer would after installing and before removing a release.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-prerequisites.sh
scripts/build.sh >/dev/null
echo "== built: build/i686 (shipped, 32-bit) and build/x86_64 (run here under 64-bit Wine)"

build=build/x86_64
wine="testsupport/wine/run-in-prefix.sh $build"
$wine --start

# The sample install tree lives on the prefix's drive D:, which maps to $build/drive-d.
root_unix="$build/drive-d/Sample Suite/v182"
root='D:\Sample Suite\v182'
setup_dir="Framework/bin/Win64/setup"
rm -rf "$root_unix"
mkdir -p "$root_unix/commonfiles/globalsettings" "$root_unix/$setup_dir"
cat > "$root_unix/commonfiles/globalsettings/relinfo.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<releaseInformation>
  <startMenuFolderName value="VELMORA 18.1"/>
  <startMenuShortcutAppendRevision value="18.1"/>
</releaseInformation>
XML
cp $build/postinstall/postinstall.exe $build/preuninstall/preuninstall.exe "$root_unix/$setup_dir/"
echo "== sample install tree: $root (global release information: startMenuFolderName \"VELMORA 18.1\", revision \"18.1\")"

# The demonstration runs with the prefix's default token, an administrator's: machine scope.
# Start from a clean start menu, so that what the report shows is what the programs did.
rm -rf "$build/wineprefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VELMORA 18.1" \
       "$build/wineprefix/drive_c/users/"*"/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/VELMORA 18.1"

for program in postinstall preuninstall; do
    status=0
    $wine "$root\\Framework\\bin\\Win64\\setup\\$program.exe" || status=$?
    echo "== $program.exe ran from $root\\Framework\\bin\\Win64\\setup and exited with status $status"
    echo "== the suite's environment variables after $program.exe, by scope:"
    $wine $build/testsupport/environment_report.exe
    echo "== what is registered now (read back independently of the programs):"
    $wine $build/testsupport/registration_report.exe "VELMORA 18.1" | sed 's/^/   /'
done
$wine --stop
