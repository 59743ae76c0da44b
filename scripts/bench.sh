#!/usr/bin/env bash
# Runs the read benchmark under Wine against the simulation server (set-up and build first).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
source "$root/scripts/env.sh"
cmake --build "$KESTI_BUILD" --config Release
source "$root/scripts/session.sh"
trap end_session EXIT
start_wine_session
"$root/scripts/wine-run.sh" "$KESTI_BUILD/bin/kesti_read_benchmark.exe" </dev/null
