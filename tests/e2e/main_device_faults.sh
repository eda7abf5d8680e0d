#!/usr/bin/env bash
# The wave-out device under faults, through the real program. The capture
# goes to a pipe; when its reader stops, the audio system stops taking
# samples and does not return from a reset (under Wine a capture folder
# that goes away or a reader that ends is not seen by the program: the
# samples are dropped and the play goes on).
#  1. The device stops during a play: the play ends by itself with one
#     message and the window in _Stop; once the device takes samples again,
#     the next Play works.
#  2. Stop while the device hangs: the window goes to _Stop with a message,
#     and once it is dismissed, closing the window ends the program within
#     3 s although the device never returns from its reset.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-device-faults

ctl() { krvctl --wait 2000 "$@"; }

# wait_glyph PICTURE SECONDS WHAT
wait_glyph() {
  local i
  for i in $(seq 1 $(($2 * 10))); do
    [ "$(ctl glyph BitBtnExt_Play)" = "$1" ] && return 0
    sleep 0.1
  done
  krv_fail "$3: the Play picture is not $1 after $2 s"
}

krv_pipe_device first
krv_start_main_window

# --- 1. the device stops during a play, then comes back ---
ctl press BitBtnExt_Play || krv_fail "Play"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "playing into the pipe"
sleep 1
krv_stall_device
wait_glyph _SignalInactive 10 "device stopped"
krv_expect_eq "$(ctl error-box)" "Error - Output Device Stopped." "the one message when the device stopped"
ctl dismiss-error-box || krv_fail "dismiss the message"
krv_resume_device  # the device takes samples again
# The thread finishes closing the device first; a Play that comes while it
# does is served afterwards, or (past its second of waiting) pressed again.
for attempt in 1 2 3; do
  sleep 1
  ctl press BitBtnExt_Play || krv_fail "Play after the device came back"
  [ "$(ctl glyph BitBtnExt_Play)" = _SignalActive ] && break
done
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "Play after the device came back"
ctl error-box && krv_fail "a message after the device came back"
sleep 1
ctl press BitBtnExt_Stop || krv_fail "Stop"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "stopped after the device came back"
ctl error-box && krv_fail "a message after Stop"
echo "read from the pipe: $(stat -c %s "$KRV_E2E_DIR/first.pcm") bytes"

# --- 2. Stop while the device hangs; closing still ends the program ---
ctl press BitBtnExt_Play || krv_fail "Play before the hang"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "playing before the hang"
sleep 0.5
krv_stall_device
sleep 0.3
ctl click BitBtnExt_Stop  # the device does not return from its reset
wait_glyph _SignalInactive 5 "Stop while the device hangs"
krv_expect_eq "$(ctl error-box)" "Error - Output Device Stopped." "the message of a Stop while the device hangs"
ctl dismiss-error-box
ctl error-box && krv_fail "a box is still open before the close"
started=$(date +%s%N)
krvctl close TFormMain || krv_fail "krvctl close failed"
krv_wait_exit "$KRV_PROGRAM" 20
krv_expect_eq "$?" 0 "exit code of KRV-2400.exe closed while the device hangs"
took=$((($(date +%s%N) - started) / 1000000))
echo "closing took $took ms"
[ "$took" -le 3000 ] || krv_fail "closing took more than 3 s"
