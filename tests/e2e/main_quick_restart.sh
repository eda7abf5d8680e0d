#!/usr/bin/env bash
# Quick hands, with the start-up settings and signal set:
#  1. The level bar moved, Stop, and Play 50 ms after the move, eight times:
#     no "Error - Cannot Change Gain." (the Stop made the gain change moot;
#     the new play starts with the bar's level), and the program plays.
#  2. Stop pressed right after Play, while the play may still be starting:
#     answered within 0.5 s, no box, the Play button shows stopped.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-quick-restart
restarts=8

krv_start_main_window_captured
ctl() { krvctl --wait 5000 "$@"; }

boxes_of() {
  local boxes
  boxes="$(krvctl error-box)" || return 0
  failures+=("$1: $boxes")
  krvctl dismiss-error-box >/dev/null
}
failures=()

# 1. Restarts right after a bar move. The window looks at a gain change's
# answer 300 ms after the move: a box would be up a second later.
ctl press BitBtnExt_Play || krv_fail "Play"
sleep 1
position=0
for i in $(seq 1 "$restarts"); do
  position=$((position == 0 ? 20 : 0))
  played="$(ctl gain-restart TrackBar_L "$position" BitBtnExt_Stop BitBtnExt_Play 50)" ||
    krv_fail "restart $i: krvctl exit code $?"
  sleep 1.2
  echo "restart $i: bar at $position, Play ${played} ms after the move"
  boxes_of "restart $i"
  [ "$(ctl glyph BitBtnExt_Play)" = _SignalActive ] || failures+=("restart $i: not playing")
done

# 2. Stop right after Play.
for i in 1 2 3; do
  ctl press BitBtnExt_Stop
  ctl press BitBtnExt_Play || krv_fail "Play $i"
  stop_ms="$(ctl press-timed BitBtnExt_Stop)" || krv_fail "Stop $i: krvctl exit code $?"
  echo "Stop right after Play $i: $stop_ms ms"
  [ "$stop_ms" -le 500 ] || failures+=("Stop right after Play $i took $stop_ms ms")
  sleep 0.5
  boxes_of "Stop right after Play $i"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "stopped after Stop $i"
done

[ "${#failures[@]}" -eq 0 ] || krv_fail "$(printf '%s; ' "${failures[@]}")"
krv_close_main_window
echo "ok: $restarts quick restarts and 3 Stops right after Play, no box"
