# The display and the Wine session of a command, sourced after env.sh by the commands that
# run Wine programs (main, test, screenshots, bench); `root` is the checkout.

# A virtual display of its own for this run (Xvfb, SIZE such as 1280x1024x24), ended by
# end_session. Wine's desktop keeps the display its session began with, and the set-up's
# registry edits began one without: the session is started anew on this display.
start_virtual_display() {
  local size=$1
  display=:$(( 90 + RANDOM % 500 ))
  Xvfb "$display" -screen 0 "$size" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# One wineserver for the whole command, with the prefix's services already started (services
# started by a test would inherit its output pipes and keep ctest waiting for their end),
# and the simulation tools registered.
start_wine_session() {
  wineserver -p >/dev/null 2>&1 || true  # an already running one serves as well
  "$root/scripts/wine-run.sh" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
  bash "$root/scripts/register.sh"
}

# Ends the Wine session and the virtual display, if this command made one.
end_session() {
  wineserver -k 2>/dev/null || true
  if [[ -n ${xvfb_pid:-} ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
