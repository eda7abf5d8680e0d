#!/usr/bin/env bash
# 200 Play/Stop cycles, then closing the program while it plays: no hang, no
# crash, no error box.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-cycles

krv_capture_audio "$KRV_E2E_DIR/wave-out.wav"
krv_start_main_window

krvctl --wait 2000 press-cycle 200 BitBtnExt_Play BitBtnExt_Stop || krv_fail "the Play/Stop cycles failed"
krvctl error-box && krv_fail "an error box is open after the cycles"
krv_expect_eq "$(krvctl glyph BitBtnExt_Play)" _SignalInactive "stopped after the cycles"

krvctl press BitBtnExt_Play || krv_fail "Play"
krv_expect_eq "$(krvctl glyph BitBtnExt_Play)" _SignalActive "playing before the close"
sleep 1
krvctl close TFormMain || krv_fail "krvctl close failed"
# An error box would hold the program open: look for one while it ends.
for i in $(seq 1 200); do
  kill -0 "$KRV_PROGRAM" 2>/dev/null || break
  krvctl error-box 2>/dev/null && krv_fail "an error box appeared while closing"
  sleep 0.1
done
krv_wait_exit "$KRV_PROGRAM" 20
krv_expect_eq "$?" 0 "exit code of KRV-2400.exe closed while playing"
