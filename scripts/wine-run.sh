#!/usr/bin/env bash
# Runs a Windows program of the build in the project's Wine prefix (ctest's emulator).
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/env.sh"
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=wine
exec "$wine" "$@"
