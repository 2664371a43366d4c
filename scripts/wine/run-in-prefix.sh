#!/usr/bin/env bash
# Runs a Windows program under Wine in the private prefix of a build tree.
#   run-in-prefix.sh BUILD_DIR PROGRAM [ARGS...]   run PROGRAM (a Unix path) in the prefix
#   run-in-prefix.sh BUILD_DIR --start             create the prefix if needed, start a persistent server
#   run-in-prefix.sh BUILD_DIR --stop              stop the server
# The prefix is created on first use: headless, with drive D: mapped to BUILD_DIR/drive-d, and with
# 32-bit support (a 32-bit program runs under WoW64 in it). A prefix made before the 32-bit Wine was
# installed has an empty syswow64, where every 32-bit program fails (status 53): it is made again.
set -euo pipefail

build_dir=$(cd "$1" && pwd)
shift

wine_dir=/usr/lib/wine
export WINEPREFIX="$build_dir/wineprefix"
export HOME="$build_dir/winehome"
export WINEDEBUG=-all
# winemenubuilder would mirror every start-menu shortcut into $HOME; mono and gecko cannot be
# downloaded here and are not needed.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG="${SETUPKIT_TEST_LANG:-C.UTF-8}"
export LC_ALL="$LANG"
# What the tests need of their host: the prefix's drive D: (a folder of this build tree) as the disk
# they may fill, and the prefix as a machine of their own, whose registration they may change.
export SETUPKIT_TEST_DRIVE=D: SETUPKIT_TESTS_MAY_CHANGE_THIS_MACHINE=1

# A new prefix is made once per build root: the first tree's is kept, unused, as a template
# (build/wineprefix-template) that the other trees copy in seconds instead of booting Wine again.
template="$(dirname "$build_dir")/wineprefix-template"

# A kernel without 32-bit support cannot start the 32-bit loader: 64-bit programs then go to wine64
# itself, 32-bit ones cannot run at all, and a prefix is complete without its 32-bit system files.
if "$(dirname "$0")/runs-32-bit.sh"; then
    loader=$wine_dir/wine system_files=syswow64
else
    loader=$wine_dir/wine64 system_files=system32
fi

boot_prefix() {
    "$wine_dir/wine64" wineboot -i >/dev/null 2>&1
    "$wine_dir/wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # A crash ends the program at once with its exception code, where Wine's debugger would wait
    # unseen for the five-minute timeout (or, without its dialog, report exit status 0).
    # A 32-bit program reads the key through the registry's 32-bit view.
    aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    for view in /reg:64 /reg:32; do
        "$wine_dir/wine64" reg add "$aedebug" /v Auto /d 1 /f $view >/dev/null 2>&1
        "$wine_dir/wine64" reg add "$aedebug" /v Debugger /d '' /f $view >/dev/null 2>&1
    done
    "$wine_dir/wineserver" -w
}

create_prefix() {
    mkdir -p "$HOME" "$build_dir/drive-d"
    exec 9>"$build_dir/wineprefix.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/.setupkit-ready" ] || [ ! -f "$WINEPREFIX/drive_c/windows/$system_files/kernel32.dll" ]; then
        rm -rf "$WINEPREFIX"
        exec 8>"$template.lock"
        flock 8
        if [ -f "$template/.setupkit-ready" ] && [ -f "$template/drive_c/windows/$system_files/kernel32.dll" ]; then
            cp -a "$template" "$WINEPREFIX"
            # The profile's folders lead to the HOME of the tree that made the template.
            for link in "$WINEPREFIX"/drive_c/users/*/*; do
                if [ -L "$link" ] && [ "$(basename "$(readlink "$link")")" = winehome ]; then
                    ln -sfn "$HOME" "$link"
                fi
            done
        else
            rm -rf "$template"
            boot_prefix
            rm -rf "$template.partial"
            cp -a "$WINEPREFIX" "$template.partial"
            touch "$template.partial/.setupkit-ready"
            mv "$template.partial" "$template"
        fi
        flock -u 8
        ln -sfn "$build_dir/drive-d" "$WINEPREFIX/dosdevices/d:"
        touch "$WINEPREFIX/.setupkit-ready"
    fi
    flock -u 9
}

case "${1:-}" in
    --start)
        create_prefix
        # Detached from our output: whoever waits for this step's output must not wait for the
        # server, nor for the services that the first program of the session starts.
        # A server that is already running (an earlier run's) serves as well.
        "$wine_dir/wineserver" -p </dev/null >/dev/null 2>&1 || true
        "$wine_dir/wine64" wineboot </dev/null >/dev/null 2>&1
        ;;
    --stop)
        "$wine_dir/wineserver" -k 2>/dev/null || true
        ;;
    *)
        create_prefix
        # The output goes through a file, not straight to the caller: the program that is the first of
        # the session to need the desktop starts explorer.exe with its output handles, and explorer
        # stays until the session ends, so a caller reading a pipe (CTest) would wait for every other
        # program of the session. The 32-bit loader hands a 64-bit program on to wine64.
        output=$(mktemp)
        trap 'rm -f "$output"' EXIT
        status=0
        "$loader" "$@" >"$output" 2>&1 || status=$?
        cat "$output"
        exit $status
        ;;
esac
