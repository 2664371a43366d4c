#!/usr/bin/env bash
# Exit status 0 when this host can start 32-bit programs: the 32-bit Wine loader answers. A kernel
# without 32-bit support (some virtual machines) refuses it with "Exec format error", and where the
# 32-bit Wine could not be installed there is no loader at all; Wine then runs 64-bit programs only,
# and the shipped 32-bit programs cannot be run here.
exec /usr/lib/wine/wine --version >/dev/null 2>&1
