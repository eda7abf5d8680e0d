#!/usr/bin/env bash
# Every buffer size plays the signal set from its first frame on: with the
# start-up sine and an audible sweep (every second differs), a continuous
# play at 50, 100, 125, 200, 250 and 500 ms segments reaches the captured
# device bit for bit as the engine makes it from the saved set
# (signals_expect), from the capture's first frame to its last; no segment
# is lost, delayed or silent. The device takes the samples through a pipe
# read at 0.8 x real time, as a sound card would (the bench's own device
# takes them about four times faster than real time, which leaves the
# program a quarter of a segment's time to make each next second).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-segments
here="$(dirname "${BASH_SOURCE[0]}")"
check="$here/signals_check.py"

krv_paced_capture

krv_start_main_window
ctl() { krvctl --wait 5000 "$@"; }

# The set: the sweep audible on both channels, 3 s long, beside the sine.
ctl press BitBtnExt_Signals || krv_fail "Signals"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
ctl tab PageControl_Signals 4 || krv_fail "the sweep's page"
ctl select ComboBoxEx_Output_Sweep "L + R" || krv_fail "sweep output"
ctl set-text EditHex_Period_Sweep 3 || krv_fail "sweep period"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/set.sig"
for _ in $(seq 1 100); do [ -s "$KRV_E2E_DIR/set.sig" ] && break; sleep 0.1; done
[ -s "$KRV_E2E_DIR/set.sig" ] || krv_fail "no signal set saved"
ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
krv_run_exe signals_expect.exe "$(_krv_winepath "$KRV_E2E_DIR/set.sig")" 48000 16 5 \
  "$(_krv_winepath "$KRV_E2E_DIR/set.raw")" || krv_fail "signals_expect"

play=0
for size in 50 100 125 200 250 500; do
  krv_open_settings
  ctl tab PageControl_Global 2 || krv_fail "$size ms: the settings window's Internal page"
  ctl select ComboBoxEx_Buffer "$size" || krv_fail "$size ms: buffer size"
  ctl press BitBtnExt_Close || krv_fail "$size ms: the settings window's CLOSE"
  krv_expect_eq "$(ctl text Label_PlayTime_Value)" 0 "$size ms: counter before the play"
  ctl press BitBtnExt_Play || krv_fail "$size ms: Play"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "$size ms: playing"
  sleep 2  # past the first second's end
  ctl press BitBtnExt_Stop || krv_fail "$size ms: Stop"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "$size ms: stopped"
  ctl error-box && krv_fail "$size ms: an error box is open"
  play=$((play + 1))
  krv_keep_paced_capture "$play" "play-$size"
  python3 "$check" start "$KRV_E2E_DIR/play-$size.wav" "$KRV_E2E_DIR/set.raw" 60000+ ||
    krv_fail "$size ms: the capture is not the set from its first frame"
  echo "ok: $size ms segments play the set from the first frame"
done

krv_close_main_window
