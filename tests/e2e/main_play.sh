#!/usr/bin/env bash
# Playing the start-up signal set through the wave mapper: what reaches the
# captured device at each gain setting.
#
# The test bench's sound device takes samples faster than real time, so a
# play of a few seconds' wall time holds more seconds of sound.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-play

krv_start_main_window_captured
ctl() { krvctl --wait 2000 "$@"; }

# play NAME SECONDS: Play, wait, Stop; the capture of this play is NAME.wav
# and its figures NAME.txt.
play() {
  local name="$1" seconds="$2"
  ctl press BitBtnExt_Play || krv_fail "$name: Play"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "$name: Play picture while playing"
  sleep "$seconds"
  ctl press BitBtnExt_Stop || krv_fail "$name: Stop"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "$name: Play picture after Stop"
  krv_keep_capture "$name"
  krv_analyze "$KRV_E2E_DIR/$name.wav" >"$KRV_E2E_DIR/$name.txt"
  echo "$name: $(tr '\n' ' ' <"$KRV_E2E_DIR/$name.txt")"
}
figure() { krv_figure "$KRV_E2E_DIR/$1.txt" "$2"; }

# The start-up set: a 1000 Hz sine at -6 dB on both channels, -20 dB on:
# -26 dBFS peak, -29.03 dBFS RMS, continuous.
play default 3
krv_analyze "$KRV_E2E_DIR/default.wav" --expect-rate 48000 --expect-channels 2 --expect-freq 1000 --freq-tol 0.5 \
  --expect-peak -26.0 --expect-rms -29.03 --level-tol 0.05 --min-seconds 3 --max-gap-ms 0.1 --sine-continuity \
  >/dev/null || krv_fail "the start-up set is not a continuous 1000 Hz sine at -26 dBFS"
echo "ok: default play is a continuous 1000 Hz sine at -26 dBFS on both channels"

# -20dB off: -6 dBFS.
ctl press BitBtnExt_ATT
play att-off 1
krv_analyze "$KRV_E2E_DIR/att-off.wav" --expect-freq 1000 --freq-tol 0.5 --expect-peak -6.0 --expect-rms -9.03 \
  --level-tol 0.05 --max-gap-ms 0.1 --sine-continuity >/dev/null || krv_fail "-20dB off is not -6 dBFS"
echo "ok: -20dB off plays at -6 dBFS"

# MUTE: silence, but the device still plays.
ctl press BitBtnExt_Mute
play mute 1
[ "$(figure mute frames)" -gt 48000 ] || krv_fail "mute: the device played nothing"
krv_expect_eq "$(figure mute active_frames)" 0 "mute: frames above -80 dBFS"
ctl press BitBtnExt_Mute

# Left bar at -20 with Lock on: the right bar follows; both at -26 dBFS.
ctl trackbar TrackBar_L 20 || krv_fail "move TrackBar_L"
krv_expect_eq "$(ctl position TrackBar_R)" 20 "TrackBar_R follows with Lock on"
krv_expect_eq "$(ctl position ProgressBar_L)" 80 "ProgressBar_L"
krv_expect_eq "$(ctl text Label_Gain_L)" -20 "Label_Gain_L"
krv_expect_eq "$(ctl text Label_Gain_R)" -20 "Label_Gain_R"
play locked 1
krv_expect_near "$(figure locked ch0_peak_dbfs)" -26.0 0.05 "locked: left peak"
krv_expect_near "$(figure locked ch1_peak_dbfs)" -26.0 0.05 "locked: right peak"

# Lock off, right bar back to the top: only the left level is 20 dB down.
ctl press BitBtnExt_Lock
krv_expect_eq "$(ctl glyph BitBtnExt_Lock)" _LockLRInactive "Lock picture off"
ctl trackbar TrackBar_R 0
krv_expect_eq "$(ctl position TrackBar_L)" 20 "TrackBar_L stays with Lock off"
krv_expect_eq "$(ctl text Label_Gain_R)" 0 "Label_Gain_R"
play unlocked 1
krv_expect_near "$(figure unlocked ch0_peak_dbfs)" -26.0 0.05 "unlocked: left peak"
krv_expect_near "$(figure unlocked ch1_peak_dbfs)" -6.0 0.05 "unlocked: right peak"

krv_close_main_window
