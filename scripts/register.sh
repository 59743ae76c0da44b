#!/usr/bin/env bash
# Registers the proxy/stub DLL, the simulation and chaos servers and the server list in the project's
# Wine prefix. Idempotent: registering again only rewrites the same keys.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/env.sh"
run="$root/scripts/wine-run.sh"
bin="$KESTI_BUILD/bin"

"$run" regsvr32 /s "$(winepath -w "$bin/kesti-opc-ps.dll" 2>/dev/null)" </dev/null >/dev/null 2>&1
"$run" "$bin/opchda-sim.exe" /RegServer </dev/null
"$run" "$bin/opchda-chaos.exe" /RegServer </dev/null
"$run" "$bin/opc-serverlist.exe" /RegServer </dev/null
# COM activation needs the RPC service; right after a prefix is made it can be slow to come up.
"$run" net start RpcSs </dev/null >/dev/null 2>&1 || true
