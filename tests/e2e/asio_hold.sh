#!/usr/bin/env bash
# A pause of the whole program while it plays through the test driver: the
# heavy set at 384000 Hz (heavy_set.sh) plays, every thread of the program is
# held for 7 s (SIGSTOP, then SIGCONT), below the 10 s that a second may take.
# The driver then catches up on the halves it missed, faster than the
# seconds can be made, so several go missing one after the other: the play
# rides that out with silence and no error box, and plays on.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup asio-hold
source "$KRV_ROOT/tests/e2e/asio_common.sh"
unset KRV_TEST_ASIO_CAPTURE  # the driver's log shows the halves
log="$KRV_E2E_DIR/driver.log"
hold="${KRV_HOLD_SECONDS:-7}"

krv_start_main_window
source "$KRV_ROOT/tests/e2e/heavy_set.sh"
load_heavy_set 384000
krv_open_settings
krv_choose_test_driver
ctl press BitBtnExt_Close || krv_fail "CLOSE"
krv_no_error_box "settings"

ctl press BitBtnExt_Play || krv_fail "Play"
sleep 2
krv_no_error_box "before the hold"
kill -STOP "$KRV_PROGRAM" || krv_fail "holding the program"
sleep "$hold"
kill -CONT "$KRV_PROGRAM"
sleep 3
boxes="$(ctl error-box)" && krv_fail "error boxes after a hold of $hold s: $(echo "$boxes" | tr '\n' '|')"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "Play picture after the hold"
halves=$(grep -c "^half" "$log")
sleep 0.5
[ "$(grep -c "^half" "$log")" -gt "$halves" ] || krv_fail "the driver does not play after the hold"
ctl press BitBtnExt_Stop || krv_fail "Stop"
krv_no_error_box "Stop"
echo "ok: a hold of $hold s brings no error box and the play goes on"
asio_close
