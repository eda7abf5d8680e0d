#!/usr/bin/env bash
# The L/R lock while a bar is dragged: with the lock on (the start state) and
# every source of the set on both channels, the left bar is moved between 0
# and -20 dB every 10 ms while the wave mapper plays 384000 Hz, 24 bits,
# NEAR EVEN without dither or shaping. Both channels always carry the same
# gain, so every captured frame has its left sample equal to its right one;
# the capture holds both levels (the moves reached the sound), and no error
# box came.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-lock
rate=384000
seconds="${KRV_LOCK_SECONDS:-6}"

krv_start_main_window_captured
ctl() { krvctl --wait 5000 "$@"; }
krv_expect_eq "$(ctl glyph BitBtnExt_Lock)" _LockLRActive "the lock at start"

cfg="$KRV_E2E_DIR/lock.cfg"
krv_settings_file "$cfg" "SamplingRate=$rate" Quantization=24 "Rounding=NEAR EVEN" NoiseShaping=OFF WavBufferSize=50
krv_load_settings "$cfg" ComboBoxEx_SamplingRate "$rate"
ctl press BitBtnExt_Close || krv_fail "the settings window's CLOSE"
krv_expect_eq "$(ctl text Label_Fs_Value)" "$rate" "sampling rate shown"

# Four tones, the sweep and the noise, all on both channels.
ctl press BitBtnExt_Signals || krv_fail "Signals"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/start-up.sig"
for _ in $(seq 50); do [ -s "$KRV_E2E_DIR/start-up.sig" ] && break; sleep 0.1; done
krv_edit_signal_set "$KRV_E2E_DIR/start-up.sig" "$KRV_E2E_DIR/both.sig" \
  "0:Frequency=1000" "0:WarbleCycle=16 Hz" "0:OutputChannel=L R" \
  "1:Waveform=SQUARE" "1:Frequency=3000" "1:OutputChannel=L R" \
  "2:Waveform=TRIANGLE" "2:Frequency=5000" "2:OutputChannel=L R" \
  "3:Waveform=SAW" "3:Frequency=7000" "3:OutputChannel=L R" \
  "4:SweepType=LOG" "4:SweepPeriod=5" "4:SweepFrequencyStart=20" "4:SweepFrequencyStop=150000" "4:OutputChannel=L R" \
  "5:NoiseType=PINK" "5:Amplitude=-30" "5:OutputChannel=L R" || krv_fail "no signal set to change"
krv_file_dialog BitBtnExt_Load "$KRV_E2E_DIR/both.sig"
krv_no_error_box "loading both.sig"
ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"

ctl press BitBtnExt_Play || krv_fail "Play"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "playing"
sleep 1
moves="$(ctl trackbar-cycle TrackBar_L $((seconds * 100)) 10 20 0)" || krv_fail "the moves: $moves"
echo "bar moves while playing: $moves"
krv_expect_eq "$(ctl position TrackBar_R)" "$(ctl position TrackBar_L)" "the right bar after the moves"
ctl press BitBtnExt_Stop || krv_fail "Stop"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "stopped"
krv_keep_capture drag

python3 "$KRV_ROOT/tests/e2e/channels_equal.py" "$KRV_E2E_DIR/drag.wav" 50 >"$KRV_E2E_DIR/drag.txt"
code=$?
echo "drag: $(tr '\n' ' ' <"$KRV_E2E_DIR/drag.txt")"
[ "$code" -le 1 ] || krv_fail "the capture cannot be read"
figure() { krv_figure "$KRV_E2E_DIR/drag.txt" "$1"; }
[ "$(figure frames)" -ge "$rate" ] || krv_fail "the capture holds less than 1 s"
[ "$(figure quiet_blocks)" -gt 0 ] && [ "$(figure loud_blocks)" -gt 0 ] ||
  krv_fail "the moves did not reach the sound (quiet blocks $(figure quiet_blocks), loud $(figure loud_blocks))"
[ "$code" -eq 0 ] ||
  krv_fail "$(figure unequal_blocks) blocks of 50 ms with left unlike right (first at $(figure unequal_block_starts_s) s)"

krv_close_main_window
echo PASS
