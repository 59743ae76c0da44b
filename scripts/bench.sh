#!/usr/bin/env bash
# Runs the read benchmark under Wine against the simulation server (set-up and build first).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
source "$root/scripts/env.sh"
cmake --build "$KESTI_BUILD" --config Release
wineserver -p >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT
"$root/scripts/wine-run.sh" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
bash "$root/scripts/register.sh"
"$root/scripts/wine-run.sh" "$KESTI_BUILD/bin/kesti_read_benchmark.exe" </dev/null
