#!/usr/bin/env bash
# Prints the programs' full version from CMakeLists.txt, the suite release and the build number
# (18.1.182.1); with --release, the suite release alone (18.1.182), which the MSI takes.
set -euo pipefail
lists="$(dirname "$0")/../CMakeLists.txt"
release=$(sed -n 's/^project(setupkit VERSION \([0-9.]*\).*/\1/p' "$lists")
build_number=$(sed -n 's/^set(SETUPKIT_BUILD_NUMBER \([0-9]*\))$/\1/p' "$lists")
if [ -z "$release" ] || [ -z "$build_number" ]; then
    echo "version.sh: no project version or SETUPKIT_BUILD_NUMBER in $lists" >&2
    exit 1
fi
if [ "${1:-}" = --release ]; then
    echo "$release"
else
    echo "$release.$build_number"
fi
