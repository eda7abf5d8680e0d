#!/usr/bin/env bash
# Recording a WAV file: REC, a file name chosen in the save dialog, 3 s,
# RECORD. The file holds exactly 3 x 48000 frames of the start-up signal at
# unity gain (a 1000 Hz sine at -6 dBFS on both channels) although MUTE is on
# and the left gain bar is at -20 dB; the progress bar made its last step, the
# window closed, and the property sheet (setting "All") lies beside the file.
#
# The property-sheet setting has no window yet: the program's test variant
# takes it from KRV_E2E_PROPERTY_SHEET (see E2ESettings.h).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup record

KRV_E2E_PROPERTY_SHEET=all krv_start_exe KRV-2400-e2e.exe
KRV_PROGRAM=$KRV_PID
krv_wait_window TFormMain 60000 || krv_fail "no TFormMain window within 60 s"
ctl() { krvctl --wait 5000 "$@"; }

# Output gains that must not reach the file.
ctl press BitBtnExt_Mute || krv_fail "MUTE"
ctl trackbar TrackBar_L 20 || krv_fail "move TrackBar_L"
krv_expect_eq "$(ctl text Label_Gain_L)" -20 "Label_Gain_L"

# REC opens the recording window with the proposed name and time.
ctl press BitBtnExt_Rec || krv_fail "REC"
krvctl wait-class TFormRecord 10000 || krv_fail "no recording window"
krv_expect_eq "$(ctl glyph BitBtnExt_Rec)" _WavFileActive "REC picture while the window is open"
proposed="$(ctl text Edit_Record_FileName)"
[[ "$proposed" =~ ^[0-9]{8}_[0-9]{6}\.wav$ ]] || krv_fail "proposed name: '$proposed'"
echo "ok: proposed name $proposed"
krv_expect_eq "$(ctl text EditHex_Record_Time)" 10 "record time proposed from the default period"
krv_screenshot "$KRV_E2E_DIR/record-window.png" && echo "screenshot: $KRV_E2E_DIR/record-window.png"

wav="$KRV_E2E_DIR/tone.wav"
sheet="$KRV_E2E_DIR/tone.txt"
krv_choose_record_file "$KRV_E2E_DIR/tone"

# 3 seconds, RECORD.
ctl focus EditHex_Record_Time || krv_fail "focus the record time"
ctl set-text EditHex_Record_Time 3 || krv_fail "record time"
ctl press BitBtnExt_Record || krv_fail "RECORD"
boxes="$(krvctl error-box)" && krv_fail "error box after RECORD: $boxes"
krv_expect_eq "$(ctl position ProgressBar_Record)" 99 "progress bar after 3 s (33 per second)"
krv_expect_eq "$(ctl visible BitBtnExt_Record)" no "recording window closed"
krv_expect_eq "$(ctl glyph BitBtnExt_Rec)" _WavFileInactive "REC picture after the window closed"

# The file: plain PCM, exactly 3 x 48000 frames, the start-up sine at unity gain.
[ -f "$wav" ] || krv_fail "no file $wav"
krv_expect_eq "$(stat -c %s "$wav")" $((44 + 3 * 48000 * 4)) "file size"
krv_analyze "$wav" >"$KRV_E2E_DIR/tone-figures.txt" || krv_fail "the file cannot be read"
echo "figures: $(tr '\n' ' ' <"$KRV_E2E_DIR/tone-figures.txt")"
figure() { krv_figure "$KRV_E2E_DIR/tone-figures.txt" "$1"; }
krv_expect_eq "$(figure frames)" 144000 "frames"
krv_expect_eq "$(figure rate)" 48000 "rate"
krv_expect_eq "$(figure channels)" 2 "channels"
krv_expect_eq "$(figure bits)" 16 "bits"
krv_analyze "$wav" --expect-freq 1000 --freq-tol 0.5 --expect-peak -6.0 --expect-rms -9.03 --level-tol 0.05 \
  --max-gap-ms 0.1 --sine-continuity >/dev/null || krv_fail "the file is not a 1000 Hz sine at -6 dBFS"
# A sine of phase 0 begins with one zero sample.
krv_expect_eq "$(figure active_start_frame)" 1 "signal from the start"
echo "ok: 1000 Hz sine at -6 dBFS on both channels from the start"

# The property sheet beside it, every line as the settings give it.
[ -f "$sheet" ] || krv_fail "no property sheet $sheet"
S="//-------------"
tone() {
  printf '%s\n' "//Channel $1" "$S" "//Frequency : 1000" "//Amplitude : -6" "//Output    : $2" "//Phase     : 0" \
    "//Offset    : 0" "//Waveform  : SINE" "//WarbleType: 1/3 Octave" "//Warble    : OFF" "//CycleOn   : 1" \
    "//CycleOff  : 0" "$S"
}
{
  printf '%s\n' "$S" "//WavFile Name : tone.wav" "$S" "//PCM Format" "$S" "//Sampling Rate : 48000" \
    "//Quantization  : 16" "//Rounding      : NEAR EVEN" "//Dither        : WHITE" "//NoiseShaping  : OFF" "$S" \
    "//Signal Format" "$S"
  tone 0 "L R"; tone 1 MUTE; tone 2 MUTE; tone 3 MUTE
  printf '%s\n' "//Channel 4" "$S" "//Sweep          : LINEAR" "//SweepPeriod    : 10" "//Amplitude      : -6" \
    "//FrequencyStart : 20" "//FrequencyStop  : 20000" "//Output         : MUTE" "$S" "//Channel 5" "$S" \
    "//Noise     : WHITE" "//Amplitude : -6" "//Phase     : 0" "//Output    : MUTE" "$S"
} | sed 's/$/\r/' >"$KRV_E2E_DIR/expected-sheet.txt"
cmp "$sheet" "$KRV_E2E_DIR/expected-sheet.txt" || {
  diff <(tr -d '\r' <"$KRV_E2E_DIR/expected-sheet.txt") <(tr -d '\r' <"$sheet")
  krv_fail "the property sheet differs"
}
krv_expect_eq "$(wc -l <"$sheet")" 81 "property sheet lines"

krvctl close TFormMain || krv_fail "krvctl close failed"
krv_wait_exit "$KRV_PROGRAM" 20
krv_expect_eq "$?" 0 "exit code after closing"
