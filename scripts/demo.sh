#!/usr/bin/env bash
# Demonstration: builds the shipped 32-bit programs, lays out a sample install tree and, under Wine
# (WoW64), runs the install/uninstall round trip from it twice: as an administrator and as a standard
# user. After each program it shows what is registered, read back independently of the programs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-prerequisites.sh
preset=mingw-i686
if ! scripts/wine/runs-32-bit.sh; then
    # Same sources, another target: what the demonstration shows does not depend on it.
    preset=mingw-x86_64
    echo "== this host cannot run 32-bit programs: the demonstration runs a 64-bit build of the programs"
fi
build=build/${preset#mingw-}
echo "== building the programs and the demonstration's two tools into $build"
echo "   (about a minute the first time; then the first Wine run creates the prefix, about 20 s)"
cmake --preset $preset >/dev/null
cmake --build $build --target postinstall preuninstall registration_report run_as_standard_user >/dev/null
echo "== built: $build/postinstall/postinstall.exe and $build/preuninstall/preuninstall.exe"

wine="scripts/wine/run-in-prefix.sh $build"
$wine --start

# The sample install tree lives on the prefix's drive D:, which maps to $build/drive-d.
folder_name="VELMORA 18.1"
root_unix="$build/drive-d/Sample Suite/v182"
root='D:\Sample Suite\v182'
setup_dir="Framework/bin/Win64/setup"
setup='D:\Sample Suite\v182\Framework\bin\Win64\setup'
rm -rf "$root_unix"
mkdir -p "$root_unix/commonfiles/globalsettings" "$root_unix/$setup_dir"
# The release information the sample installers ship: folder "VELMORA 18.1", revision suffix "18.1".
cp installers/relinfo.xml "$root_unix/commonfiles/globalsettings/"
cp $build/postinstall/postinstall.exe $build/preuninstall/preuninstall.exe "$root_unix/$setup_dir/"
echo "== sample install tree: $root"
echo "   release information: start-menu folder \"$folder_name\", revision suffix \"18.1\""
echo "   programs: $setup\\postinstall.exe and preuninstall.exe"

# Start from nothing, so that what the report shows is what the programs did: no suite folder in
# either Programs folder, none of the suite's variables in either environment key.
rm -rf "$build/wineprefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$folder_name" \
       "$build/wineprefix/drive_c/users/"*"/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$folder_name"
# The names from the tests' one table of them, one "KIND(NAME)" a line.
variables=$(sed -n 's/^[A-Z_]*(\([A-Z0-9_]*\))$/\1/p' testsupport/include/testsupport/suite_variables.def)
{
    echo "Windows Registry Editor Version 5.00"
    for key in 'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Session Manager\Environment' \
               'HKEY_CURRENT_USER\Environment'; do
        echo
        echo "[$key]"
        for name in $variables; do echo "\"$name\"=-"; done
    done
} > "$build/drive-d/forget-suite-variables.reg"
$wine regedit /s 'D:\forget-suite-variables.reg'
rm "$build/drive-d/forget-suite-variables.reg"
echo "== starting clean: no \"$folder_name\" folder in either Programs folder, none of the six variables"
echo "   in either environment key"
echo "== postinstall creates 1 shortcut (Fenwright) and writes 4 variables; preuninstall deletes 9 shortcuts"
echo "   (Fenwright's and the TESSAL and CORVANE add-ons', which their own installers create), 5 variables"
echo "   (2 of them the add-ons'), and the start-menu folders left empty. Where depends on the token."

report() {
    $wine $build/tools/registration_report.exe "$folder_name"
}

# What a report shows registered, each line prefixed with its scope, so that two reports compare.
scoped() {
    awk '/^  [^ ]/ { scope = $0; sub(/:.*/, "", scope); next }
         /^    / && !/^    \(not set\)/ { print scope ":" $0 }'
}

unexpected=0

# round_trip TITLE RUNNER...: postinstall then preuninstall, each started through RUNNER.
round_trip() {
    local title=$1
    shift
    local before after status left
    before=$(report)
    echo
    echo "######## $title"
    status=0
    "$@" "$setup\\postinstall.exe" || status=$?
    echo "-- postinstall.exe exited with status $status; registered now:"
    report | sed 's/^/   /'
    status=0
    "$@" "$setup\\preuninstall.exe" || status=$?
    echo "-- preuninstall.exe exited with status $status; registered now:"
    after=$(report)
    echo "$after" | sed 's/^/   /'
    left=$(diff <(echo "$before" | scoped) <(echo "$after" | scoped) | sed -n 's/^> //p' | tr -s ' ') || true
    if [ -z "$left" ]; then
        echo "-- what the round trip left behind: nothing"
    else
        echo "-- what the round trip left behind (compared with before postinstall):"
        echo "$left" | sed 's/^/     /'
    fi
    if [ -n "$left" ] && echo "$left" | grep -qv 'VELMORA_SYSDIR32'; then
        echo "!! more than VELMORA_SYSDIR32 stayed: preuninstall did not remove all it owns" >&2
        unexpected=1
    else
        echo "-- VELMORA_SYSDIR32 stays by design: every release of the suite shares it, so one release's"
        echo "   preuninstall leaves it. Everything else postinstall registered is gone."
    fi
}

round_trip "As an administrator (the prefix's default token): machine scope.
   The programs work on the all-users Programs folder and the machine environment key." \
    $wine

round_trip "As a standard user (the same user's token with Administrators deny-only, through
   tools/run_as_standard_user.exe): user scope. The programs work on the current user's
   Programs folder and environment key, and leave the machine scope alone." \
    $wine $build/tools/run_as_standard_user.exe

$wine --stop
exit $unexpected
