#!/usr/bin/env bash
# The main job: set-up (idempotent), build, then the command-line host loads the DLL by
# path under Wine and shows what the plug-in gives it. Arguments go to the host.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
source "$root/scripts/env.sh"
cmake --build "$KESTI_BUILD" --target kesti-host OpcHDAKesti
"$root/scripts/wine-run.sh" "$KESTI_BUILD/bin/kesti-host.exe" "$@"
