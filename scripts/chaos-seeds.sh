#!/usr/bin/env bash
# Runs the chaos server's seeds FIRST..FIRST+COUNT-1 one process each (a crash or a hang of one
# seed does not end the run), and writes one line per seed to standard output:
#   seed N: pass|FAIL|CRASH (exit code)|HANG  SECONDS s
# The whole output of a seed that did not pass is kept in OUT/seed-N.txt, and the chaos
# server's journal of it in OUT/seed-N.journal (KEEP=1 keeps those of passing seeds too). Needs a built tree (scripts/test.sh once).
#   usage: chaos-seeds.sh FIRST COUNT OUT [SECONDS_PER_SEED]
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/env.sh"
first=$1 count=$2 out=$3 limit=${4:-240}
mkdir -p "$out"
source "$root/scripts/session.sh"
trap end_session EXIT
if [[ -z ${DISPLAY:-} ]]; then start_virtual_display 1280x1024x24; fi
start_wine_session
temp=$("$root/scripts/wine-run.sh" cmd.exe /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp_unix=$(winepath -u "$temp" 2>/dev/null)
for ((seed = first; seed < first + count; ++seed)); do
  began=$(date +%s.%N)
  KESTI_CHAOS_SEED=$seed timeout -k 10 "$limit" "$root/scripts/wine-run.sh" "$KESTI_BUILD/bin/kesti_dll_tests.exe" \
    --gtest_filter='HostileServerTest.AnIndependentHostileServerNeverTakesTheHostDown' >"$out/seed-$seed.txt" 2>&1 </dev/null
  code=$?
  took=$(echo "$(date +%s.%N) - $began" | bc)
  if ((code == 0)); then verdict=pass
  elif ((code == 124 || code == 137)); then verdict=HANG
  elif grep -q '^\[  FAILED  \]' "$out/seed-$seed.txt"; then verdict=FAIL
  else verdict="CRASH ($code)"
  fi
  printf 'seed %d: %s %.1f s\n' "$seed" "$verdict" "$took"
  if [[ $verdict == pass && -z ${KEEP:-} ]]; then rm -f "$out/seed-$seed.txt" "$temp_unix/kesti-chaos-seed-$seed.journal"
  else mv "$temp_unix/kesti-chaos-seed-$seed.journal" "$out/seed-$seed.journal" 2>/dev/null || true
  fi
  # A hang leaves the test program's server behind: end what is left of this seed's processes.
  if [[ $verdict == HANG ]]; then wineserver -k >/dev/null 2>&1; start_wine_session; fi
done
