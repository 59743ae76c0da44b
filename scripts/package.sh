#!/usr/bin/env bash
# Builds the release package: set-up (idempotent), the plug-in and the tools in release form,
# then CPack's zip. Prints the zip's path; everything else goes to standard error.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" >&2
source "$root/scripts/env.sh"
cmake --build "$KESTI_BUILD" --target OpcHDAKesti kesti-host opchda-sim opc-serverlist kesti-opc-ps >&2
(cd "$KESTI_BUILD" && cpack --config CPackConfig.cmake >&2)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$KESTI_BUILD/CMakeCache.txt")
echo "$KESTI_BUILD/package/OpcHDAKesti-$version-win64.zip"
