#!/usr/bin/env bash
# The end of the user's session while a WAV file is written: Wine's own
# session end (wineboot --end-session --kill: WM_QUERYENDSESSION and
# WM_ENDSESSION to every window, then every program is ended) comes during a
# REC of 99 s at 384000 Hz / 24 bits with FFT use. The REC ends as CANCEL
# ends it: no temporary file is left, and the earlier file of that name is as
# it was.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-end-session

ctl() { timeout 30 "$KRV_WINE" "$KRV_BIN/krvctl.exe" --wait 5000 "$@" </dev/null; }

krv_start_main_window
cfg="$KRV_E2E_DIR/heavy.cfg"
krv_settings_file "$cfg" SamplingRate=384000 Quantization=24 FFTuse=Use
krv_open_settings
krv_file_dialog BitBtnExt_Load "$cfg"
for _ in $(seq 100); do [ "$(ctl text ComboBoxEx_Quantization)" = 24 ] && break; sleep 0.1; done
ctl press BitBtnExt_Close || krv_fail "the settings window's CLOSE"
krv_no_error_box "loading $cfg"
krv_expect_eq "$(ctl text Label_Fs_Value)" 384000 "the loaded rate"

wav="$KRV_E2E_DIR/session.wav"
printf 'the earlier take' >"$wav"
ctl press BitBtnExt_Rec || krv_fail "REC"
krvctl wait-class TFormRecord 10000 || krv_fail "no recording window"
krv_choose_record_file "$KRV_E2E_DIR/session"
ctl focus EditHex_Record_Time || krv_fail "focus the record time"
ctl set-text EditHex_Record_Time 99 || krv_fail "record time"
ctl click BitBtnExt_Record || krv_fail "RECORD"
# The file is being written: its temporary file has grown past its header.
grown=""
for _ in $(seq 100); do
  grown="$(find "$KRV_E2E_DIR" -maxdepth 1 -name 'session.wav.tmp*' -size +100k -printf '%f')"
  [ -n "$grown" ] && break
  sleep 0.1
done
[ -n "$grown" ] || krv_fail "no temporary file grows while the REC runs"
echo "writing: $grown"

"$KRV_WINE" wineboot --end-session --kill </dev/null >"$KRV_E2E_DIR/wineboot.log" 2>&1
echo "wineboot --end-session --kill: exit code $?"
krv_wait_exit "$KRV_PROGRAM" 20
echo "the program ended with code $?"

left="$(find "$KRV_E2E_DIR" -maxdepth 1 -name 'session.wav.tmp*' -printf '%f ')"
[ -z "$left" ] || krv_fail "temporary files left after the end of the session: $left"
krv_expect_eq "$(cat "$wav")" "the earlier take" "the earlier file after the end of the session"
echo "ok: the end of the session ended the REC as CANCEL does"
