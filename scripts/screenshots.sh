#!/usr/bin/env bash
# Pictures of the configuration dialogs for the README: set-up and build, then, on a virtual
# display of its own, kesti-screenshots opens each dialog as a person sees it against this
# prefix's simulation servers; the pictures land in docs/ as PNG.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" >&2
source "$root/scripts/env.sh"
cmake --build "$KESTI_BUILD" >&2

source "$root/scripts/session.sh"
trap end_session EXIT
start_virtual_display 1024x768x24
start_wine_session
run="$root/scripts/wine-run.sh"
"$run" reg delete 'HKCU\Software\Norvane\OpcHdaSim' /f </dev/null >/dev/null 2>&1 || true

# Without a window manager on the virtual display, Wine draws the windows' frames itself.
"$run" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
trap '"$run" reg delete "HKCU\Software\Wine\X11 Driver" /v Decorated /f </dev/null >/dev/null 2>&1 || true;
      end_session' EXIT

out="$KESTI_OUT/screenshots"
mkdir -p "$out" "$root/docs"
"$run" "$KESTI_BUILD/bin/kesti-screenshots.exe" "$(winepath -w "$out")" </dev/null
python3 "$root/scripts/bmp-to-png.py" "$out"/*.bmp
cp "$out"/*.png "$root/docs/"
ls -1 "$root"/docs/*.png
