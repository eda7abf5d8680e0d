#!/usr/bin/env bash
# A busy machine, made on purpose: the program is held (SIGSTOP) and let go
# (SIGCONT) while it makes its first second or writes a file.
#
#   waveout           Play on wave-out at 384000 Hz with FFT use, the program
#                     held 1.5 s right after the press, three times: each Play
#                     plays, with no error box.
#   asio              The same through the test ASIO driver at 384000 Hz with
#                     FFT use: the driver starts on the first second.
#   record            REC of 30 s at 384000 Hz / 24 bits with FFT use, the
#                     program held five times 1.5 s while it writes: no error
#                     box, the file whole.
#   close-record      The main window closed during that REC: the close waits
#                     for the file, which is whole, the program ends with 0 and
#                     no temporary file is left.
#   close-record-box  The program held 11 s during a REC of 99 s (past the wait
#                     for a second): "Error - Cannot Create Wave Data." comes up;
#                     the main window is closed from inside that box, the box is
#                     answered: the file is finished whole, then the program
#                     ends with 0, and no temporary file is left.
set -u
mode="${1:?mode}"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup "main-slow-$mode"

ctl() { krv_krvctl_bounded 30 --wait 5000 "$@"; }

# hold SECONDS: the whole program stops, as on a machine that gives it no
# processor, then goes on.
hold() {
  kill -STOP "$KRV_PROGRAM" || krv_fail "cannot hold the program"
  sleep "$1"
  kill -CONT "$KRV_PROGRAM" || krv_fail "cannot let the program go on"
}

# load_settings KEY=VALUE..: a settings file loaded in the settings window.
load_settings() {
  local cfg="$KRV_E2E_DIR/slow.cfg"
  krv_settings_file "$cfg" "$@"
  krv_load_settings "$cfg" ComboBoxEx_SamplingRate 384000
}

# cpu_ticks: processor time the program has used so far, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$KRV_PROGRAM/stat"; }

# until_busy TICKS: until the program has used 30 ms of processor time more
# than TICKS (at most 10 s).
until_busy() {
  for _ in $(seq 4000); do
    [ $(($(cpu_ticks) - $1)) -ge 3 ] && return 0
    sleep 0.002
  done
  return 1
}

# play_held NAME: Play pressed, the program held 1.5 s during its first second
# (once it has used 30 ms of processor time since the press: it opens the
# device and makes that second); within 15 s it plays (the Play picture, no
# error box), then Stop.
play_held() {
  local before
  before="$(cpu_ticks)"
  ctl click BitBtnExt_Play &
  local click=$!
  until_busy "$before" || krv_fail "$1: the program did not start working within 10 s"
  hold 1.5
  wait "$click" || krv_fail "$1: Play"
  local glyph=""
  for _ in $(seq 150); do
    glyph="$(ctl glyph BitBtnExt_Play)"
    boxes="$(ctl error-box)" && krv_fail "$1: error box after a held Play: $boxes"
    [ "$glyph" = _SignalActive ] && break
    sleep 0.1
  done
  sleep 1
  krv_no_error_box "$1: while playing"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "$1: Play picture 1 s after a held Play"
  ctl press BitBtnExt_Stop || krv_fail "$1: Stop"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "$1: Play picture after Stop"
  sleep 0.5
  echo "ok: $1 played"
}

# record_start NAME SECONDS: REC, NAME chosen, SECONDS set, RECORD clicked;
# returns once the file is being written.
record_start() {
  ctl press BitBtnExt_Rec || krv_fail "REC"
  krvctl wait-class TFormRecord 10000 || krv_fail "no recording window"
  krv_choose_record_file "$KRV_E2E_DIR/$1"
  ctl focus EditHex_Record_Time || krv_fail "focus the record time"
  ctl set-text EditHex_Record_Time "$2" || krv_fail "record time"
  local before
  before="$(cpu_ticks)"
  ctl click BitBtnExt_Record &
  local click=$!
  until_busy "$before" || krv_fail "RECORD: the program did not start working within 10 s"
  wait "$click" || krv_fail "RECORD"
}

# expect_whole NAME SECONDS: NAME.wav holds SECONDS of 384000 Hz / 24 bits
# stereo with a header that says so, and nothing else of that name is left.
expect_whole() {
  local wav="$KRV_E2E_DIR/$1.wav"
  [ -f "$wav" ] || krv_fail "no file $wav"
  krv_expect_eq "$(stat -c %s "$wav")" $((68 + $2 * 384000 * 8)) "size of $1.wav"
  krv_analyze "$wav" --quick >"$KRV_E2E_DIR/$1-figures.txt" || krv_fail "$1.wav cannot be read"
  krv_expect_eq "$(krv_figure "$KRV_E2E_DIR/$1-figures.txt" frames)" $(($2 * 384000)) "frames of $1.wav"
  local left
  left="$(find "$KRV_E2E_DIR" -maxdepth 1 -name "$1.wav.tmp*" -printf '%f ')"
  [ -z "$left" ] || krv_fail "temporary files left: $left"
  echo "ok: $1.wav whole ($2 s), no temporary file"
}

# A render of 30 s at 384000 Hz with FFT use takes some seconds under Wine.
# The sweep and the noise audible: they are made anew for every second.
record_settings() {
  load_settings SamplingRate=384000 Quantization=24 FFTuse=Use
  ctl press BitBtnExt_Close || krv_fail "CLOSE"
  ctl press BitBtnExt_Signals || krv_fail "Signals"
  krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
  ctl tab PageControl_Signals 4 || krv_fail "the sweep and noise page"
  ctl select ComboBoxEx_Output_Sweep "L + R" || krv_fail "sweep output"
  ctl select ComboBoxEx_Output_Noise "L + R" || krv_fail "noise output"
  ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
  krv_no_error_box "the signal editor's CLOSE"
}

krv_start_main_window_captured
grep -q 'KRV-2400.exe' "/proc/$KRV_PROGRAM/cmdline" || krv_fail "process $KRV_PROGRAM is not the program"

case "$mode" in
  waveout)
    # The heaviest first second: 384000 Hz with FFT use.
    load_settings SamplingRate=384000 Quantization=24 FFTuse=Use
    ctl press BitBtnExt_Close || krv_fail "the settings window's CLOSE"
    for n in 1 2 3; do play_held "wave-out play $n"; done
    ;;
  asio)
    load_settings SamplingRate=384000 Quantization=24 OutputDevice=ASIO FFTuse=Use
    krv_choose_test_driver
    ctl press BitBtnExt_Close || krv_fail "the settings window's CLOSE"
    krv_no_error_box "the settings window's CLOSE"
    for n in 1 2 3; do play_held "driver play $n"; done
    ;;
  record)
    record_settings
    record_start held 30
    # Held five times, so that some hold finds the writer waiting for a second.
    for _ in 1 2 3 4 5; do hold 1.5; sleep 0.15; done
    for _ in $(seq 600); do [ "$(ctl visible BitBtnExt_Record)" = no ] && break; sleep 0.1; done
    krv_no_error_box "a held REC"
    krv_expect_eq "$(ctl visible BitBtnExt_Record)" no "recording window closed after the file"
    expect_whole held 30
    ;;
  close-record)
    record_settings
    printf 'the earlier take' >"$KRV_E2E_DIR/closed.wav"
    record_start closed 30
    krvctl close TFormMain || krv_fail "close the main window"
    krv_wait_exit "$KRV_PROGRAM" 120
    krv_expect_eq "$?" 0 "exit code after a close during REC"
    expect_whole closed 30
    exit 0
    ;;
  close-record-box)
    record_settings
    record_start boxed 99
    # A hold that finds the writer between two waits brings up no box, nor
    # one whose second is done right after the program goes on (the writer
    # takes it): up to five holds, each right after the last, while the
    # REC of 99 s still runs (a box comes within a second of the hold).
    boxes=""
    for _ in 1 2 3 4 5; do
      hold 11
      for _ in $(seq 5); do boxes="$(ctl error-box)" && break 2; sleep 0.1; done
    done
    krv_expect_eq "$boxes" "Error - Cannot Create Wave Data." "the box of a second past its wait"
    krvctl close TFormMain || krv_fail "close the main window inside the box"
    sleep 1
    kill -0 "$KRV_PROGRAM" 2>/dev/null || krv_fail "the program ended from inside the box"
    ctl dismiss-error-box >/dev/null
    krv_wait_exit "$KRV_PROGRAM" 120
    krv_expect_eq "$?" 0 "exit code after a close inside the box"
    expect_whole boxed 99
    exit 0
    ;;
  *) krv_fail "unknown mode $mode" ;;
esac

krvctl close TFormMain || krv_fail "krvctl close failed"
krv_wait_exit "$KRV_PROGRAM" 20
krv_expect_eq "$?" 0 "exit code after closing"
