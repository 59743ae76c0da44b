#!/usr/bin/env bash
# Pictures of the configuration dialogs for the README: set-up and build, then, on a virtual
# display of its own, kesti-screenshots opens each dialog as a person sees it against this
# prefix's simulation servers; the pictures land in docs/ as PNG.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh" >&2
source "$root/scripts/env.sh"
cmake --build "$KESTI_BUILD" >&2

display=:$(( 90 + RANDOM % 500 ))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'wineserver -k 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
wineserver -p >/dev/null 2>&1 || true
run="$root/scripts/wine-run.sh"
"$run" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
bash "$root/scripts/register.sh"
"$run" reg delete 'HKCU\Software\Norvane\OpcHdaSim' /f </dev/null >/dev/null 2>&1 || true

# Without a window manager on the virtual display, Wine draws the windows' frames itself.
"$run" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
trap '"$run" reg delete "HKCU\Software\Wine\X11 Driver" /v Decorated /f </dev/null >/dev/null 2>&1 || true;
      wineserver -k 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT

out="$KESTI_OUT/screenshots"
mkdir -p "$out" "$root/docs"
"$run" "$KESTI_BUILD/bin/kesti-screenshots.exe" "$(winepath -w "$out")" </dev/null
python3 "$root/scripts/bmp-to-png.py" "$out"/*.bmp
cp "$out"/*.png "$root/docs/"
ls -1 "$root"/docs/*.png
