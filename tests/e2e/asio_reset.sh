#!/usr/bin/env bash
# A driver that asks to be reset while it plays (the test driver, every 150
# halves, reopens at its own 44100 Hz): the play goes on at the rate it was
# started with, with no error box, and Stop ends it.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup asio-reset

capture="$KRV_E2E_DIR/asio-capture.wav"
export KRV_TEST_ASIO_RESET_AFTER=150 KRV_TEST_ASIO_CAPTURE="$(_krv_winepath "$capture")"
krv_start_main_window
ctl() { krvctl --wait 5000 "$@"; }

ctl press BitBtnExt_Settings || krv_fail "Settings"
krvctl wait-class TFormSettings 10000 || krv_fail "no settings window"
krv_choose_test_driver
ctl press BitBtnExt_Close || krv_fail "CLOSE"

ctl press BitBtnExt_Play || krv_fail "Play"
sleep 5  # two resets at least
boxes="$(krvctl error-box)" && krv_fail "error box after a reset: $boxes"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "playing after the driver's resets"
# Still running: the capture keeps changing (it grows, or starts anew when a
# reset lands in between).
before=$(stat -c %s "$capture")
sleep 0.5
[ "$(stat -c %s "$capture")" -ne "$before" ] || krv_fail "the driver stopped after a reset"
# Read it between two resets: right after one, the new capture is too short.
for _ in $(seq 40); do [ "$(stat -c %s "$capture")" -gt 100000 ] && break; sleep 0.1; done
krv_analyze "$capture" --expect-rate 48000 --expect-freq 1000 --freq-tol 1 >"$KRV_E2E_DIR/reset.txt" ||
  krv_fail "not the 1000 Hz sine at 48000 Hz after a reset: $(tr '\n' ' ' <"$KRV_E2E_DIR/reset.txt")"
# The capture begins anew at each reset: it holds less than the play.
awk -v s="$(krv_figure "$KRV_E2E_DIR/reset.txt" seconds)" 'BEGIN { exit !(s < 4) }' ||
  krv_fail "the driver was never reset"
echo "ok: the play goes on at 48000 Hz after the driver's resets"
ctl press BitBtnExt_Stop || krv_fail "Stop"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "Play picture after Stop"
krv_close_main_window
