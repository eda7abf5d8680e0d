#!/usr/bin/env bash
# Every kind of generator set up through the signal editor, saved as a signal
# set file and played: square, triangle, a sawtooth burst, a warbled sine and
# a linear sweep, then the same with a log sweep, must reach the captured
# device bit for bit as the engine makes them from the saved file
# (signals_expect); then white, pink and Gauss noise alone, whose level and
# spectral slope must match the engine's.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup signals-generators
check="$(dirname "${BASH_SOURCE[0]}")/signals_check.py"

krv_start_main_window_captured
ctl() { krvctl --wait 2000 "$@"; }

open_editor() {
  ctl press BitBtnExt_Signals || krv_fail "Signals"
  krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
}

# save_set NAME: Save through the save dialog into NAME.sig.
save_set() {
  local file="$KRV_E2E_DIR/$1.sig"
  krv_file_dialog BitBtnExt_Save "$file"
  for _ in $(seq 1 100); do [ -s "$file" ] && break; sleep 0.1; done
  [ -s "$file" ] || krv_fail "$1: no file saved"
}

# play NAME: CLOSE, Play for 2 s of wall time, Stop; NAME.wav is the capture,
# NAME.raw the engine's output for NAME.sig.
play() {
  ctl press BitBtnExt_Close || krv_fail "$1: CLOSE"
  ctl press BitBtnExt_Play || krv_fail "$1: Play"
  sleep 2
  ctl press BitBtnExt_Stop || krv_fail "$1: Stop"
  krv_keep_capture "$1"
  krv_run_exe signals_expect.exe "$(_krv_winepath "$KRV_E2E_DIR/$1.sig")" 48000 16 6 \
    "$(_krv_winepath "$KRV_E2E_DIR/$1.raw")" || krv_fail "$1: signals_expect"
}

# page INDEX NAME=VALUE...: on page INDEX, edits take their text and lists
# (names beginning ComboBoxEx_) their item.
page() {
  local index="$1" pair name value
  shift
  ctl tab PageControl_Signals "$index" || krv_fail "page $index"
  for pair in "$@"; do
    name="${pair%%=*}" value="${pair#*=}"
    case "$name" in
      ComboBoxEx_*) ctl select "$name" "$value" || krv_fail "$name: $value" ;;
      *) ctl set-text "$name" "$value" || krv_fail "$name: $value" ;;
    esac
  done
}

open_editor
page 0 ComboBoxEx_Waveform_1=Square EditHex_Amp_1=-10 "ComboBoxEx_Output_1=L ch"
page 1 ComboBoxEx_Waveform_2=Triangle EditHex_Freq_2=440 EditHex_Amp_2=-12 "ComboBoxEx_Output_2=R ch"
page 2 ComboBoxEx_Waveform_3=Saw EditHex_Freq_3=250 EditHex_Amp_3=-14 "ComboBoxEx_Output_3=L + R" \
  EditHex_CycleOn_3=3 EditHex_CycleOff_3=2
page 3 EditHex_Freq_4=2000 "ComboBoxEx_Warble_4=4 Hz" EditHex_Amp_4=-12 "ComboBoxEx_Output_4=L ch"
page 4 ComboBoxEx_SweepType=Linear EditHex_Period_Sweep=2 EditHex_Amp_Sweep=-20 EditHex_Start=100 \
  EditHex_Stop=10000 "ComboBoxEx_Output_Sweep=L + R"
save_set linear
play linear
python3 "$check" exact "$KRV_E2E_DIR/linear.wav" "$KRV_E2E_DIR/linear.raw" 4 || krv_fail "tones and linear sweep"
echo "ok: tones, burst, warble and linear sweep bit for bit"

open_editor
page 4 ComboBoxEx_SweepType=Log
save_set log
play log
python3 "$check" exact "$KRV_E2E_DIR/log.wav" "$KRV_E2E_DIR/log.raw" 4 || krv_fail "tones and log sweep"
echo "ok: tones, burst, warble and log sweep bit for bit"

open_editor
for i in 1 2 3 4; do page $((i - 1)) "ComboBoxEx_Output_$i=Mute"; done
page 4 ComboBoxEx_Output_Sweep=Mute
for noise in White Pink Gauss; do
  [ "$noise" = White ] || open_editor
  page 5 "ComboBoxEx_Output_Noise=L + R" EditHex_Amp_Noise=-10 "ComboBoxEx_NoiseType=$noise"
  save_set "$noise"
  play "$noise"
  python3 "$check" noise "$KRV_E2E_DIR/$noise.wav" "$KRV_E2E_DIR/$noise.raw" || krv_fail "$noise noise"
  echo "ok: $noise noise at the engine's level and slope"
done

krv_close_main_window
