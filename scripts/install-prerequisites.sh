#!/usr/bin/env bash
# Installs, on Debian 12 as root, whatever of the cross toolchain, Wine, GoogleTest and the installer
# tools (wixl for MSI, makensis for NSIS) is missing.
set -euo pipefail

packages=(cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 googletest binutils-mingw-w64-i686
          wixl nsis)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
