#!/usr/bin/env bash
# The DLL exports exactly the plug-in's 42 names, undecorated, and imports only DLLs of
# the system (no libgcc, libstdc++ or winpthreads DLL beside it).
set -euo pipefail
dll=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
expected=$2

dump=$("$objdump" -p "$dll")
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^\t\[/{print $NF; next} on{on=0}' <<<"$dump" | sort)
wanted=$(sed -n '/^EXPORTS/,$p' "$expected" | tail -n +2 | tr -d ' \r' | grep -v '^$' | sort)
if [[ "$exports" != "$wanted" ]]; then
  echo "export table differs from $expected:"; diff <(echo "$wanted") <(echo "$exports") || true; exit 1
fi
echo "exports: $(wc -l <<<"$exports") names, as listed"

allowed='^(KERNEL32|msvcrt|USER32|SHELL32|ole32|OLEAUT32|ADVAPI32|rpcrt4|RPCRT4|NETAPI32|COMCTL32|GDI32|SHLWAPI|comdlg32)\.dll$'
bad=0
while read -r name; do
  if [[ ! $name =~ $allowed ]]; then echo "imports a DLL that is not the system's: $name"; bad=1; fi
done < <(awk '/DLL Name:/{print $3}' <<<"$dump")
[[ $bad == 0 ]] && echo "imports: system DLLs only"
exit $bad
