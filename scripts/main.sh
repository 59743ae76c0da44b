#!/usr/bin/env bash
# The main job: set up (idempotently), build and register, then the command-line host loads
# OpcHDAKesti.dll by path under Wine and reads the demonstration plant of the simulation
# server through it: the tree, current values and an hour of history as CSV.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" >&2  # only what the host prints goes to standard output
source "$root/scripts/env.sh"
cmake --build "$KESTI_BUILD" >&2

# The dialogs show on the desktop's display, else on a virtual one (see them with a VNC viewer
# attached to it, or take screenshots). Wine's desktop takes the display it starts with, so
# this comes before the first Wine program.
source "$root/scripts/session.sh"
trap end_session EXIT
if [[ ${1:-} == configure-ui && -z ${DISPLAY:-} ]]; then
  start_virtual_display 1280x1024x24
  echo "the dialogs are on the virtual display $DISPLAY" >&2
fi
start_wine_session
run="$root/scripts/wine-run.sh"
# The simulation server's own demonstration data file, not a test's.
"$run" reg delete 'HKCU\Software\Norvane\OpcHdaSim' /f </dev/null >/dev/null 2>&1 || true

# A command of the user's own keeps standard input (the rows of `write`).
if [[ $# -gt 0 ]]; then "$run" "$KESTI_BUILD/bin/kesti-host.exe" "$@"; exit; fi
host() { "$run" "$KESTI_BUILD/bin/kesti-host.exe" "$@" </dev/null; }
host identity
host configure "opchda://localhost/OpcHdaSim.Server/{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}" Plant.Boiler Plant.Line1
echo "--- tree"
host tree
echo "--- current values"
host current Plant.Boiler.Temperature Plant.Boiler.Pressure Plant.Boiler.BurnerStage Plant.Boiler.State
echo "--- the last hour, every 10 minutes"
start=$(( $(date +%s) - 3600 ))
host history "$start" 600 7 Plant.Boiler.Temperature Plant.Boiler.Pressure Plant.Boiler.State
