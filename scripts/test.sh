#!/usr/bin/env bash
# The test command: set-up (idempotent), build, then every test under Wine with one
# persistent wineserver for the whole run. Extra arguments go to ctest (e.g. -R Log).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
source "$root/scripts/env.sh"

cmake --build "$KESTI_BUILD"

source "$root/scripts/session.sh"
trap end_session EXIT
# The dialogs' tests need a display: without one, a virtual one for this run.
if [[ -z ${DISPLAY:-} ]]; then start_virtual_display 1280x1024x24; fi
start_wine_session
cd "$KESTI_BUILD"
ctest --output-on-failure -j "$(nproc)" "$@"
