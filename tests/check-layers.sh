#!/usr/bin/env bash
# The folders of src/ are layers, each using only those below it:
#   platform -> base -> config -> discovery -> opchda -> model -> interface | ui
# Fails on any include of a src/ folder that lies above the including file's folder, or
# beside it (interface and ui share a level but do not use each other).
set -euo pipefail
src=${1:?usage: check-layers.sh SRC_FOLDER}
layers=(platform base config discovery opchda model interface ui)
declare -A rank=([platform]=0 [base]=1 [config]=2 [discovery]=3 [opchda]=4 [model]=5 [interface]=6 [ui]=6)

bad=0
for layer in "${layers[@]}"; do
  [[ -d $src/$layer ]] || continue
  while IFS=: read -r file line include; do
    target=${include#*\"}; target=${target%%/*}
    [[ -n ${rank[$target]+set} ]] || continue # a system or generated header
    if [[ $target != "$layer" ]] && (( rank[$target] >= rank[$layer] )); then
      echo "${file#$src/}:$line: $layer must not include $target (${include#*#include })"
      bad=1
    fi
  done < <(grep -rn '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]*/' "$src/$layer" || true)
done
if [[ $bad == 0 ]]; then echo "layers: every include points down"; fi
exit $bad
