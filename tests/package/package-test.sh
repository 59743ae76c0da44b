#!/usr/bin/env bash
# The package as a user gets it: the zip is unpacked into a folder of its own, a fresh Wine
# prefix of its own registers the tools from that folder (register-tools.cmd), and the
# command-line host there runs the main job: the tree, current values and an hour of history.
# It fails if anything of the build tree or of the project's prefix takes part.
#   package-test.sh ZIP
set -euo pipefail
zip=$(realpath "${1:?the package zip}")
work=$(mktemp -d "${TMPDIR:-/tmp}/kesti-package-test.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=wine
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }

mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
folder=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d -name 'OpcHDAKesti-*-win64')
[[ -n $folder ]] || fail "the zip holds no OpcHDAKesti-<version>-win64 folder"
for file in OpcHDAKesti.dll OpcHDAKesti.dll.debug README.md samples/OPCHDAConfiguration.xml docs/data-source-dialog.png \
            tools/kesti-host.exe tools/opchda-sim.exe tools/opchda-sim.json tools/opc-serverlist.exe \
            tools/kesti-opc-ps.dll tools/register-tools.cmd tools/unregister-tools.cmd; do
  [[ -f $folder/$file ]] || fail "the package lacks $file"
done

# The shipped DLL carries no debug information; its debug link names the file beside it.
objdump=x86_64-w64-mingw32-objdump
if "$objdump" -h "$folder/OpcHDAKesti.dll" | grep ' \.debug_' >/dev/null; then fail "OpcHDAKesti.dll carries debug sections"; fi
link=$("$objdump" -s -j .gnu_debuglink "$folder/OpcHDAKesti.dll" | sed -n 's/^ [0-9a-f]\{8,\} .\{35\}  //p' | tr -d '\n')
[[ $link == OpcHDAKesti.dll.debug.* ]] || fail "OpcHDAKesti.dll has no debug link to OpcHDAKesti.dll.debug: $link"
"$objdump" -h "$folder/OpcHDAKesti.dll.debug" | grep ' \.debug_info ' >/dev/null || fail "OpcHDAKesti.dll.debug holds no debug information"

wineboot -i >/dev/null 2>&1 || true
wineserver -w
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'no-crash-debugger' /f >/dev/null 2>&1
wineserver -p 2>/dev/null || true  # one that is still up serves as well
"$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
"$wine" net start RpcSs </dev/null >/dev/null 2>&1 || true

tools_w=$(winepath -w "$folder/tools")
run() { "$wine" "$@" </dev/null; }
run cmd.exe /c "$tools_w\\register-tools.cmd" || fail "register-tools.cmd failed"

# Every registration points into the unpacked folder.
for key in 'HKCR\CLSID\{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}\LocalServer32' \
           'HKCR\CLSID\{13486D51-4821-11D2-A494-3CB306C10000}\LocalServer32' \
           'HKCR\CLSID\{B5C1A7E2-3D4F-4A8B-9C6D-7E8F9A0B1C2D}\InprocServer32'; do
  value=$(run reg query "$key" /ve 2>/dev/null | tr -d '\r' | grep -i 'REG_SZ' || true)
  [[ ${value,,} == *"${tools_w,,}"* ]] || fail "$key is not registered from the unpacked folder: ${value:-nothing}"
done

host() { run "$folder/tools/kesti-host.exe" "$@"; }
version=$(basename "$folder")
version=${version#OpcHDAKesti-}
version=${version%-win64}
[[ $(host --version | tr -d '\r') == "kesti-host $version" ]] || fail "kesti-host --version does not say $version"
data_w=$(run cmd.exe /c echo %ProgramData% | tr -d '\r')
mkdir -p "$(winepath -u "$data_w")/Norvane/Kesti"
cp "$folder/samples/OPCHDAConfiguration.xml" "$(winepath -u "$data_w")/Norvane/Kesti/"

tree=$(host tree | tr -d '\r') || fail "tree failed"
grep -qx '  \[Plant.Boiler\]' <<<"$tree" || fail "the tree lacks Plant.Boiler: $tree"
grep -qx '    Plant.Boiler.Temperature' <<<"$tree" || fail "the tree lacks Plant.Boiler.Temperature: $tree"
current=$(host current Plant.Boiler.Temperature Plant.Boiler.State | tr -d '\r') || fail "current failed"
[[ $(sed -n 2p <<<"$current") =~ ^[0-9.-]+,\"[a-z]+\"$ ]] || fail "current values: $current"
start=$(( $(date +%s) - 3600 ))
history=$(host history "$start" 600 7 Plant.Boiler.Temperature Plant.Boiler.Pressure | tr -d '\r') || fail "history failed"
[[ $(wc -l <<<"$history") -eq 8 ]] || fail "an hour of history in 7 rows: $history"
[[ $(tail -n 1 <<<"$history") =~ ^[0-9T:Z-]+,[0-9.-]+,[0-9.-]+$ ]] || fail "the last row: $history"

# The server that answered is the unpacked one: its journal is beside its data file there.
grep -q '^Activate pid=' "$folder/tools/opchda-sim.json.journal" || fail "the unpacked simulation server kept no journal"
run cmd.exe /c "$tools_w\\unregister-tools.cmd" >/dev/null || fail "unregister-tools.cmd failed"
run reg query 'HKCR\CLSID\{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}' >/dev/null 2>&1 && fail "the server is still registered"

# A machine whose OPC HDA interfaces another proxy/stub marshals keeps it, through both scripts.
proxy_key='HKCR\Interface\{1F1217B0-DEE0-11d2-A5E5-000086339399}\ProxyStubClsid32'
foreign='{0C0C0C0C-1111-2222-3333-444444444444}'
run reg add "$proxy_key" /ve /d "$foreign" /f >/dev/null
kept=$(run cmd.exe /c "$tools_w\\register-tools.cmd" | tr -d '\r') || fail "register-tools.cmd failed beside another proxy/stub"
grep -q 'is kept' <<<"$kept" || fail "register-tools.cmd did not say it keeps the other proxy/stub: $kept"
run cmd.exe /c "$tools_w\\unregister-tools.cmd" >/dev/null
run reg query "$proxy_key" /ve | tr -d '\r' | grep -q "$foreign" || fail "the other proxy/stub was replaced or removed"
echo "package test passed: $(basename "$zip")"
printf '%s\n' "$tree" "$current" "$history"
