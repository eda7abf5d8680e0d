# Virtual display for headless runs (sourced, not run).
#   krv_start_xvfb         starts Xvfb on a free display and exports DISPLAY
#   krv_stop_xvfb          stops the Xvfb this shell started (if any)
#   krv_ensure_display     krv_start_xvfb when DISPLAY is unset; returns 0
#                          and sets KRV_XVFB_STARTED=1 when it started one
#   krv_screenshot FILE    saves a PNG of the whole screen
KRV_XVFB_PID=""
KRV_XVFB_STARTED=""

# Xvfb started at the same moment as another one (tests side by side) may
# find the display it picked taken and give up: it is tried again.
krv_start_xvfb() {
  command -v Xvfb >/dev/null || { echo "error: Xvfb is not installed" >&2; return 1; }
  local attempt
  for attempt in 1 2 3 4 5; do
    _krv_start_xvfb_once "$attempt" && return 0
    sleep "0.$((RANDOM % 5 + 1))"
  done
  return 1
}

_krv_start_xvfb_once() {
  local dir="${KRV_BUILD:-/tmp}/xvfb"
  mkdir -p "$dir"
  local number_file="$dir/display.$$"
  rm -f "$number_file"
  # -displayfd: Xvfb picks a free display itself and writes its number once
  # it accepts connections.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$number_file" >"$dir/xvfb.$$.log" 2>&1 </dev/null &
  KRV_XVFB_PID=$!
  local i
  for i in $(seq 1 200); do
    [ -s "$number_file" ] && break
    kill -0 "$KRV_XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -s "$number_file" ]; then
    if [ "$1" -lt 5 ]; then
      echo "==> Xvfb did not start (attempt $1 of 5): trying again" >&2
    else
      echo "error: Xvfb did not start (see $dir/xvfb.$$.log)" >&2
    fi
    krv_stop_xvfb
    return 1
  fi
  export DISPLAY=":$(tr -dc '0-9' <"$number_file")"
  rm -f "$number_file"
  KRV_XVFB_STARTED=1
  echo "==> no display: started a virtual one (Xvfb) on $DISPLAY" >&2
}

krv_stop_xvfb() {
  if [ -n "$KRV_XVFB_PID" ]; then
    kill "$KRV_XVFB_PID" 2>/dev/null
    wait "$KRV_XVFB_PID" 2>/dev/null
    KRV_XVFB_PID=""
    [ -n "$KRV_XVFB_STARTED" ] && unset DISPLAY
    KRV_XVFB_STARTED=""
  fi
  return 0
}

krv_ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  krv_start_xvfb
}

krv_screenshot() {
  local file="$1"
  mkdir -p "$(dirname "$file")"
  import -display "$DISPLAY" -window root "$file" 2>/dev/null ||
    { echo "error: screenshot of $DISPLAY failed" >&2; return 1; }
}
