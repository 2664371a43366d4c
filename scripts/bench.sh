#!/usr/bin/env bash
# Benchmark, not a test: what each shipped 32-bit program costs against its floor, a program making
# only the shortcut, variable, broadcast and folder calls the same job needs (tools/bench_floor.cpp).
# Each is timed as a whole process under Wine, started by the loader with a warm server; the four
# programs run interleaved in one run, shipped and floor taking turns at going first, so that load
# from elsewhere falls on both. Round 0 warms up and is not counted.
#   scripts/bench.sh [RUNS]    RUNS per program, at least 15 (41 by default)
# SETUPKIT_BENCH_PROGRAMS=DIR times the postinstall.exe and preuninstall.exe in DIR instead of the
# build's (another build of them, for a before-and-after). Uses build/i686 (build/x86_64 on a host
# without 32-bit support) and its Wine prefix:
# not while the tests run there.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-41}
if ! [ "$runs" -ge 15 ] 2>/dev/null; then
    echo "bench.sh: at least 15 runs per program, not '$runs'" >&2
    exit 2
fi
preset=mingw-i686
wine=/usr/lib/wine/wine
if ! scripts/wine/runs-32-bit.sh; then
    preset=mingw-x86_64 wine=/usr/lib/wine/wine64
    echo "== this host cannot run 32-bit programs: timing a 64-bit build of the programs and the floor"
fi
build=build/${preset#mingw-}
cmake --preset $preset >/dev/null
cmake --build $build --target postinstall preuninstall bench_floor >/dev/null
programs=${SETUPKIT_BENCH_PROGRAMS:-}
postinstall=${programs:-$build/postinstall}/postinstall.exe
preuninstall=${programs:-$build/preuninstall}/preuninstall.exe

scripts/wine/run-in-prefix.sh $build --start
trap 'scripts/wine/run-in-prefix.sh $build --stop' EXIT
# run-in-prefix.sh's environment, so that the loader starts each program with no script in between.
build_dir=$(pwd)/$build
export WINEPREFIX="$build_dir/wineprefix" HOME="$build_dir/winehome" WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" LANG=C.UTF-8 LC_ALL=C.UTF-8

# The install tree, on the prefix's drive D:, with the sample installers' release information.
tree=$build/drive-d/bench
root='D:\bench\Suite\v182'
setup='D:\bench\Suite\v182\Framework\bin\Win64\setup'
rm -rf "$tree"
mkdir -p "$tree/Suite/v182/commonfiles/globalsettings" "$tree/Suite/v182/Framework/bin/Win64/setup"
cp installers/relinfo.xml "$tree/Suite/v182/commonfiles/globalsettings/"
cp "$postinstall" "$preuninstall" "$tree/Suite/v182/Framework/bin/Win64/setup/"
cp $build/tools/bench_floor.exe "$tree/"
floor='D:\bench\bench_floor.exe'
suite_folder="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VELMORA 18.1"

# Microseconds the program takes from start to exit.
elapsed() {
    local start=${EPOCHREALTIME/[.,]/}
    "$wine" "$@" >/dev/null 2>&1
    echo $(( ${EPOCHREALTIME/[.,]/} - start ))
}

# A round trip that did not do its work would time nothing worth having.
expect_installed() {
    [ -f "$suite_folder/Fenwright 18.1.lnk" ] || { echo "bench.sh: $1 wrote no shortcut" >&2; exit 1; }
}
expect_removed() {
    [ ! -e "$suite_folder" ] || { echo "bench.sh: $1 left the suite's folder" >&2; exit 1; }
}

# Wine's desktop process stays up while a program holds the desktop, as Windows' always is.
"$wine" "$floor" hold &
holder=$!
trap 'kill $holder; wait $holder 2>/dev/null || true; scripts/wine/run-in-prefix.sh $build --stop' EXIT
"$wine" "$floor" preuninstall
declare -a shipped_post shipped_pre floor_post floor_pre
shipped_round() {
    local post pre
    post=$(elapsed "$setup\\postinstall.exe")
    expect_installed postinstall
    "$wine" "$floor" addons
    pre=$(elapsed "$setup\\preuninstall.exe")
    expect_removed preuninstall
    [ "$1" -eq 0 ] || { shipped_post+=("$post"); shipped_pre+=("$pre"); }
}
floor_round() {
    local post pre
    post=$(elapsed "$floor" postinstall "$root")
    expect_installed "the floor's postinstall"
    "$wine" "$floor" addons
    pre=$(elapsed "$floor" preuninstall)
    expect_removed "the floor's preuninstall"
    [ "$1" -eq 0 ] || { floor_post+=("$post"); floor_pre+=("$pre"); }
}
for ((round = 0; round <= runs; round++)); do
    if ((round % 2)); then
        shipped_round $round
        floor_round $round
    else
        floor_round $round
        shipped_round $round
    fi
done

median() {
    printf '%s\n' "$@" | sort -n |
        awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
# The rounds' own ratios (shipped over floor, timed a moment apart): their median and quartiles
# show how far the machine's load moved the figures.
round_ratios() {
    paste -d ' ' <(printf '%s\n' "${@:1:runs}") <(printf '%s\n' "${@:runs+1}") | awk '{ print $1 / $2 }' | sort -n |
        awk '{ v[NR] = $1 }
             END { printf "%.2f (%.2f-%.2f)", v[int((NR + 1) / 2)], v[int((NR + 3) / 4)], v[int((3 * NR + 3) / 4)] }'
}
echo "$("$wine" --version), $runs runs each, whole processes:"
printf '%-13s %5s %10s %10s %6s  %s\n' program runs "median ms" "floor ms" ratio "rounds' ratios: median (q1-q3)"
report() {
    local program=$1 ours theirs rounds
    shift
    ours=$(median "${@:1:runs}")
    theirs=$(median "${@:runs+1}")
    rounds=$(round_ratios "$@")
    awk -v p="$program" -v n="$runs" -v a="$ours" -v b="$theirs" -v r="$rounds" \
        'BEGIN { printf "%-13s %5d %10.1f %10.1f %6.2f  %s\n", p, n, a / 1000, b / 1000, a / b, r }'
}
report postinstall "${shipped_post[@]}" "${floor_post[@]}"
report preuninstall "${shipped_pre[@]}" "${floor_pre[@]}"
