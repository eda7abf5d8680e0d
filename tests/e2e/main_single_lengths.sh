#!/usr/bin/env bash
# Repeat off: a timed play of T = 3 s (the default period, set in the
# settings window) plays exactly T seconds at every buffer size: the capture
# holds exactly 3 x 48000 frames of sound, equal bit for bit from its first
# frame to the set as the engine makes it (signals_expect), the last segment
# of the last second included; only the silence that the audio system plays
# from the device running dry to its close (one period, 10 ms) may follow. The Playing Time counter counts up to 3 while that
# last segment plays and shows 0 again once the play has ended (read at
# 500 ms segments, long enough to be seen). The device takes the samples
# through a pipe read at 0.8 x real time, as a sound card would.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-single-lengths
here="$(dirname "${BASH_SOURCE[0]}")"
check="$here/signals_check.py"
ctl() { krvctl --wait 5000 "$@"; }
seconds=3

krv_paced_capture

# settings SIZE: buffer size SIZE and default period T through the settings
# window; its CLOSE sets the play time to the default period.
settings() {
  krv_open_settings
  ctl tab PageControl_Global 2 || krv_fail "$1 ms: the settings window's Internal page"
  ctl select ComboBoxEx_Buffer "$1" || krv_fail "$1 ms: buffer size"
  ctl focus EditHex_DefaultPeriod || krv_fail "$1 ms: focus the default period"
  ctl set-text EditHex_DefaultPeriod "$seconds" || krv_fail "$1 ms: default period"
  ctl press BitBtnExt_Close || krv_fail "$1 ms: the settings window's CLOSE"
}

# play_timed WHAT: Play, then wait for the play to end by itself; the values
# the counter showed meanwhile go to $shown.
play_timed() {
  local i value ended=""
  shown=""
  ctl press BitBtnExt_Play || krv_fail "$1: Play"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "$1: playing"
  for i in $(seq 1 300); do
    value="$(ctl text Label_PlayTime_Value)"
    shown="$shown $value"
    # The counter is 0 before the first second and after the end only.
    if [ "$value" = 0 ] && [ "$(ctl glyph BitBtnExt_Play)" = _SignalInactive ]; then
      ended=1
      break
    fi
  done
  [ -n "$ended" ] || krv_fail "$1: the timed play did not end by itself"
  echo "$1: the counter showed:$shown"
  krv_expect_eq "$(ctl text Label_PlayTime_Value)" 0 "$1: counter after the play"
  ctl error-box && krv_fail "$1: an error box is open"
}

krv_start_main_window
ctl press BitBtnExt_Repeat || krv_fail "Repeat"
krv_expect_eq "$(ctl glyph BitBtnExt_Repeat)" _RepeatInactive "Repeat picture for a timed play"
# The set: the sweep audible on both channels (T long, so that the play time
# stays T) beside the sine: every second differs.
ctl press BitBtnExt_Signals || krv_fail "Signals"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
ctl tab PageControl_Signals 4 || krv_fail "the sweep's page"
ctl select ComboBoxEx_Output_Sweep "L + R" || krv_fail "sweep output"
ctl set-text EditHex_Period_Sweep "$seconds" || krv_fail "sweep period"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/set.sig"
for _ in $(seq 1 100); do [ -s "$KRV_E2E_DIR/set.sig" ] && break; sleep 0.1; done
[ -s "$KRV_E2E_DIR/set.sig" ] || krv_fail "no signal set saved"
ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
krv_run_exe signals_expect.exe "$(_krv_winepath "$KRV_E2E_DIR/set.sig")" 48000 16 "$seconds" \
  "$(_krv_winepath "$KRV_E2E_DIR/set.raw")" || krv_fail "signals_expect"

play=0
for size in 50 100 125 200 250 500; do
  settings "$size"
  play_timed "$size ms"
  play=$((play + 1))
  krv_keep_paced_capture "$play" "single-$size"
  python3 "$check" start "$KRV_E2E_DIR/single-$size.wav" "$KRV_E2E_DIR/set.raw" $((seconds * 48000)) ||
    krv_fail "$size ms: the capture is not the $seconds s of the set"
  echo "ok: $size ms segments: a $seconds s play plays $seconds s of the set"
done
case " $shown " in
  *" $seconds "*) echo "ok: the counter showed $seconds at 500 ms segments" ;;
  *) krv_fail "the counter never showed $seconds at 500 ms segments:$shown" ;;
esac

krv_close_main_window
