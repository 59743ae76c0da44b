#!/usr/bin/env bash
# The test command: set-up (idempotent), build, then every test under Wine with one
# persistent wineserver for the whole run. Extra arguments go to ctest (e.g. -R Log).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
source "$root/scripts/env.sh"

cmake --build "$KESTI_BUILD"

# The dialogs' tests need a display: without one, a virtual one for this run.
if [[ -z ${DISPLAY:-} ]]; then
  display=:$(( 90 + RANDOM % 500 ))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
  # A Wine session begun without a display (the set-up's registry edits) keeps none: start anew.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
fi

# One wineserver for the whole run, with the prefix's services already started: services
# started by a test would inherit its output pipes and keep ctest waiting for their end.
wineserver -p >/dev/null 2>&1 || true  # an already running one serves as well
trap 'wineserver -k 2>/dev/null || true; [[ -n ${xvfb_pid:-} ]] && kill "$xvfb_pid" 2>/dev/null || true' EXIT
"$root/scripts/wine-run.sh" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
bash "$root/scripts/register.sh"
cd "$KESTI_BUILD"
ctest --output-on-failure -j "$(nproc)" "$@"
