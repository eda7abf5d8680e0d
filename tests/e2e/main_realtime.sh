#!/usr/bin/env bash
# main_realtime.sh RATE: the wave-out road at exactly real time with a heavy
# signal set, where making a second costs most. RATE Hz (384000 or 192000),
# 32 bits, DITHER with white dither and 2nd-order shaping, the transforms on,
# 50 ms segments (a settings file loaded in the settings window); a 1000 Hz
# sine with 16 Hz warble in bursts of 10 on and 5 off, a 3000 Hz square on L,
# a 5000 Hz triangle with 8 Hz warble on R, a 7000 Hz saw, a 5 s log sweep
# from 20 Hz to 150000 Hz (or the rate's highest frequency) and pink noise at
# -30 dB (a signal set file loaded in the signal editor). The device takes
# the samples through a pipe read at exactly real time, as a sound card does:
# reading slower would give the program slack a sound card does not. A
# second's boundary must cost the device no more than any other segment: 20 s
# of play hold no run of 2 ms or more of digital silence (what the audio
# system plays when the device runs dry), with the gains still and while the
# left output bar (the right one follows it) moves every 200 ms, each move
# taken by the playing thread in time (an unanswered one shows an error box).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
rate="${1:?usage: main_realtime.sh RATE}"
seconds=20
krv_e2e_setup "main-realtime-$rate"

krv_paced_capture 1.0
krv_start_main_window
ctl() { krvctl --wait 5000 "$@"; }

source "$KRV_ROOT/tests/e2e/heavy_set.sh"
load_heavy_set "$rate"

# play N NAME [BARS]: Play for $seconds s (BARS: the left bar moving between
# 0 and -20 dB every 200 ms meanwhile), Stop; the capture of the N-th play is
# NAME.wav, its figures NAME.txt.
play() {
  local n="$1" name="$2" bars="${3:-}"
  ctl press BitBtnExt_Play || krv_fail "$name: Play"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "$name: playing"
  local started=$SECONDS
  if [ -n "$bars" ]; then
    ctl trackbar-cycle TrackBar_L $((seconds * 5)) 200 20 0 || krv_fail "$name: moving the bars"
  fi
  local left=$((seconds - (SECONDS - started)))
  [ "$left" -gt 0 ] && sleep "$left"
  ctl press BitBtnExt_Stop || krv_fail "$name: Stop"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "$name: stopped"
  krv_no_error_box "$name"
  krv_keep_paced_capture "$n" "$name"
  krv_analyze "$KRV_E2E_DIR/$name.wav" --quick --silence-runs-ms 2 >"$KRV_E2E_DIR/$name.txt"
  echo "$name: $(tr '\n' ' ' <"$KRV_E2E_DIR/$name.txt")"
  krv_expect_eq "$(krv_figure "$KRV_E2E_DIR/$name.txt" rate)" "$rate" "$name: rate of the capture"
  [ "$(krv_figure "$KRV_E2E_DIR/$name.txt" frames)" -ge $(((seconds - 1) * rate)) ] ||
    krv_fail "$name: the capture holds less than $((seconds - 1)) s"
  krv_expect_eq "$(krv_figure "$KRV_E2E_DIR/$name.txt" silence_runs)" 0 \
    "$name: runs of 2 ms or more of digital silence (first at $(krv_figure "$KRV_E2E_DIR/$name.txt" silence_run_starts_s) s)"
}

play 1 still
play 2 bars moving
krv_expect_eq "$(ctl position TrackBar_R)" "$(ctl position TrackBar_L)" "the right bar follows the left one"

krv_close_main_window
