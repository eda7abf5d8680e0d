#!/usr/bin/env bash
# main_held.sh: the whole program held (kill -STOP) and let go again
# (kill -CONT) while it plays through the wave mapper, each time for longer
# than the time after which a device that returns no buffer is looked at
# (2 s): its own threads and Wine's audio threads stand still together, so
# the device has not stopped. Each hold is ridden out: no error box, the
# play goes on. Holds of KRV_HOLDS seconds (3 and 5).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-held

krv_start_main_window
KRV_E2E_EXIT_HOOKS+=('kill -CONT "$KRV_PROGRAM" 2>/dev/null')
ctl() { krvctl --wait 5000 "$@"; }

failures=()
ctl press BitBtnExt_Play || krv_fail "Play"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "playing"
for hold in ${KRV_HOLDS:-3 5}; do
  sleep 1
  kill -STOP "$KRV_PROGRAM" || krv_fail "holding the program"
  sleep "$hold"
  kill -CONT "$KRV_PROGRAM" || krv_fail "letting the program go"
  sleep 3  # longer than the stall time, from the moment it runs again
  result="rode it out"
  if boxes="$(krvctl error-box)"; then
    failures+=("held $hold s: error box: $boxes")
    result="error box: $boxes"
    krvctl dismiss-error-box >/dev/null
  fi
  if [ "$(ctl glyph BitBtnExt_Play)" != _SignalActive ]; then
    failures+=("held $hold s: the play ended")
    result="$result; the play ended"
    ctl press BitBtnExt_Play || krv_fail "Play after the hold of $hold s"
  fi
  echo "held $hold s: $result"
done
ctl press BitBtnExt_Stop || krv_fail "Stop"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "stopped"
krv_close_main_window
if [ "${#failures[@]}" -gt 0 ]; then
  printf 'FAIL: %s\n' "${failures[@]}" >&2
  exit 1
fi
echo PASS
