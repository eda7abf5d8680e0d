#!/usr/bin/env bash
# Repeat off: a timed play of the start-up play time (10 s, 250 ms segments)
# ends by itself once its last segment has played: the capture holds exactly
# 10 x 48000 frames of sound, followed at most by the silence that the audio
# system plays from the device running dry to its close (20 ms at most).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-single

krv_start_main_window_captured
ctl() { krvctl --wait 2000 "$@"; }

ctl press BitBtnExt_Repeat || krv_fail "Repeat"
krv_expect_eq "$(ctl glyph BitBtnExt_Repeat)" _RepeatInactive "Repeat picture for a timed play"
ctl press BitBtnExt_Play || krv_fail "Play"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "Play picture while playing"
ended=""
for i in $(seq 1 300); do
  [ "$(ctl glyph BitBtnExt_Play)" = _SignalInactive ] && { ended=1; break; }
  sleep 0.1
done
[ -n "$ended" ] || krv_fail "the timed play did not end by itself within 30 s"
echo "ok: the timed play ended by itself"
krv_expect_eq "$(ctl text Label_PlayTime_Value)" 0 "playing time cleared"
krv_keep_capture single
krv_analyze "$KRV_E2E_DIR/single.wav" --expect-rate 48000 --expect-freq 1000 --freq-tol 0.5 --expect-peak -26.0 \
  --level-tol 0.05 --max-gap-ms 0.1 --sine-continuity >"$KRV_E2E_DIR/single.txt" ||
  { cat "$KRV_E2E_DIR/single.txt"; krv_fail "the timed play is not the continuous start-up sine"; }
sound=$(($(krv_figure "$KRV_E2E_DIR/single.txt" active_start_frame) + $(krv_figure "$KRV_E2E_DIR/single.txt" active_frames)))
krv_expect_eq "$sound" $((10 * 48000)) "captured frames of sound"
silent=$(($(krv_figure "$KRV_E2E_DIR/single.txt" frames) - sound))
echo "then $silent silent frames"
[ "$silent" -le 960 ] || krv_fail "$silent silent frames after the play"

# The state is _Stop again: Play starts at once.
ctl press BitBtnExt_Play || krv_fail "Play after the timed play"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "Play again after the timed play"
ctl press BitBtnExt_Stop || krv_fail "Stop"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "stopped"

krv_close_main_window
