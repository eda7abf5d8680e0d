#!/usr/bin/env bash
# The settings window: the 44056 Hz rule both ways, CANCEL and the close box
# drop edits, CLOSE hands the format back (96000 Hz, 24 bits, RNE, no
# shaping) and sets the record time to the default period; Play then sends
# exactly what the quantiser makes of the start-up sine in 32-bit containers
# with 24 valid bits; REC writes an extensible WAV file that libsndfile reads
# as 96000 Hz / 24 bits; a settings file saved from the window and loaded
# in a fresh program gives the same state; an illegal file changes nothing;
# saving over a hidden file keeps it hidden.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup settings

krv_start_main_window_captured
ctl() { krvctl --wait 5000 "$@"; }
expect_text() { krv_expect_eq "$(ctl text "$1")" "$2" "$3"; }

# wait_file FILE: the file a dialog's handler writes (it is renamed into place whole).
wait_file() {
  for _ in $(seq 100); do [ -f "$1" ] && return 0; sleep 0.1; done
  krv_fail "no file $1"
}

krv_open_settings
krv_screenshot "$KRV_E2E_DIR/settings-window.png" && echo "screenshot: $KRV_E2E_DIR/settings-window.png"
expect_text ComboBoxEx_SamplingRate 48000 "rate shown"
expect_text ComboBoxEx_Buffer 250 "buffer shown"
krv_expect_eq "$(ctl visible ComboBoxEx_AsioDevice)" no "ASIO lists hidden"

# The 44056 Hz rule, both ways.
ctl tab PageControl_Global 2 || krv_fail "Internal page"
krv_expect_eq "$(ctl visible ComboBoxEx_Buffer)" yes "Internal page shown"
ctl select ComboBoxEx_Buffer 50 || krv_fail "pick 50 ms"
ctl tab PageControl_Global 0 || krv_fail "Format page"
ctl select ComboBoxEx_SamplingRate 44056 || krv_fail "pick 44056"
expect_text ComboBoxEx_SamplingRate 48000 "44056 Hz refused with 50 ms"
ctl select ComboBoxEx_Buffer 250 || krv_fail "pick 250 ms"
ctl select ComboBoxEx_SamplingRate 44056 || krv_fail "pick 44056"
expect_text ComboBoxEx_SamplingRate 44056 "44056 Hz with 250 ms"
ctl select ComboBoxEx_Buffer 100 || krv_fail "pick 100 ms"
expect_text ComboBoxEx_Buffer 250 "100 ms refused at 44056 Hz"
echo "ok: the 44056 Hz rule both ways"

# CANCEL and the close box drop the edits.
ctl select ComboBoxEx_Quantization 24 || krv_fail "pick 24"
ctl press BitBtnExt_Cancel || krv_fail "CANCEL"
krv_expect_eq "$(ctl visible BitBtnExt_Close)" no "window closed by CANCEL"
expect_text Label_Fs_Value 48000 "rate after CANCEL"
krv_open_settings
expect_text ComboBoxEx_Quantization 16 "bits after CANCEL"
ctl select ComboBoxEx_Quantization 20 || krv_fail "pick 20"
krvctl close TFormSettings || krv_fail "close box"
for _ in $(seq 50); do [ "$(ctl visible BitBtnExt_Close)" = no ] && break; sleep 0.1; done
expect_text Label_Quant_Value 16 "bits after the close box"
echo "ok: CANCEL and the close box drop edits"

# 96000 Hz, 24 bits, RNE, no shaping; default period 5, property sheet All.
krv_open_settings
expect_text ComboBoxEx_Quantization 16 "bits after the close box"
ctl select ComboBoxEx_SamplingRate 96000 || krv_fail "pick 96000"
ctl select ComboBoxEx_Quantization 24 || krv_fail "pick 24"
ctl select ComboBoxEx_Rounding RNE || krv_fail "pick RNE"
ctl select ComboBoxEx_NoiseShaping None || krv_fail "pick None"
ctl tab PageControl_Global 2 || krv_fail "Internal page"
ctl focus EditHex_DefaultPeriod || krv_fail "focus the default period"
ctl set-text EditHex_DefaultPeriod 5 || krv_fail "default period"
ctl select ComboBoxEx_PropertySheet All || krv_fail "pick All"
cfg="$KRV_E2E_DIR/saved.cfg"
krv_file_dialog BitBtnExt_Save "$cfg"
wait_file "$cfg"
krv_settings_file "$KRV_E2E_DIR/expected.cfg" SamplingRate=96000 Quantization=24 DefaultPeriod=5 PropertySheet=All
cmp "$cfg" "$KRV_E2E_DIR/expected.cfg" || krv_fail "the saved settings file differs"
ctl press BitBtnExt_Close || krv_fail "CLOSE"
expect_text Label_Fs_Value 96000 "rate after CLOSE"
expect_text Label_Quant_Value 24 "bits after CLOSE"
expect_text Label_Round_Value "NEAR EVEN" "rounding after CLOSE"
expect_text Label_NS_Value OFF "noise shaping after CLOSE"
echo "ok: CLOSE hands the format back; the saved file holds it"

# Play: the capture is the quantiser's start-up sine, 24 bits in 32-bit containers.
ctl press BitBtnExt_Play || krv_fail "Play"
sleep 2
ctl press BitBtnExt_Stop || krv_fail "Stop"
krv_keep_capture play
krv_analyze "$KRV_E2E_DIR/play.wav" --expect-rate 96000 --expect-channels 2 --expect-freq 1000 --freq-tol 0.5 \
  --max-gap-ms 0.1 --sine-continuity >"$KRV_E2E_DIR/play.txt" || krv_fail "the play is not a continuous 1000 Hz sine"
krv_expect_eq "$(krv_figure "$KRV_E2E_DIR/play.txt" bits)" 32 "container bits"
python3 - "$KRV_E2E_DIR/play.wav" <<'PY' || krv_fail "the play is not the quantised start-up sine"
import math, struct, sys
data = open(sys.argv[1], "rb").read()
at = data.index(b"data") + 8
samples = struct.unpack_from("<%di" % ((len(data) - at) // 4), data, at)
# After the last frame of a stopped play the audio system plays silence
# from its reset until the device is closed: at most 100 ms of it.
tail = 0
while tail < len(samples) and samples[-1 - tail] == 0:
    tail += 1
if tail // 2 > 9600:
    sys.exit("%d silent frames at the end" % (tail // 2))
samples = samples[:len(samples) - tail // 2 * 2]
assert len(samples) > 2 * 96000, "less than a second"
# -6 dB at the -20 dB attenuation, RNE into 24 bits (full scale 2^23 - 1).
scale = (2 ** 23 - 1 - 0.5) * 0.1 * 10 ** (-6 / 20)
bad = 0
for i, s in enumerate(samples):
    if s & 0xFF:
        sys.exit("sample %d has bits below the 24 valid ones" % i)
    x = scale * math.sin(2 * math.pi * ((i // 2) % 96) / 96)
    if abs(abs(x - math.floor(x)) - 0.5) > 1e-6 and (s >> 8) != round(x):
        bad += 1
if bad:
    sys.exit("%d samples differ from the quantised sine" % bad)
print("ok: %d frames are the quantised start-up sine, 24 valid bits of 32" % (len(samples) // 2))
PY

# REC: the record time is the default period; the file is extensible 96000 Hz / 24 bits.
ctl press BitBtnExt_Rec || krv_fail "REC"
krvctl wait-class TFormRecord 10000 || krv_fail "no recording window"
expect_text EditHex_Record_Time 5 "record time from the default period"
wav="$KRV_E2E_DIR/rec.wav"
krv_choose_record_file "$KRV_E2E_DIR/rec"
ctl focus EditHex_Record_Time || krv_fail "focus the record time"
ctl set-text EditHex_Record_Time 1 || krv_fail "record time"
ctl press BitBtnExt_Record || krv_fail "RECORD"
[ -f "$wav" ] || krv_fail "no file $wav"
sndfile-info "$wav" >"$KRV_E2E_DIR/rec-info.txt" 2>&1 || krv_fail "libsndfile cannot read $wav"
grep -qE "Sample Rate *: 96000" "$KRV_E2E_DIR/rec-info.txt" || krv_fail "libsndfile: rate is not 96000"
grep -qE "Format *: 0xFFFE" "$KRV_E2E_DIR/rec-info.txt" || krv_fail "libsndfile: not the extensible header"
grep -qE "Valid Bits *: 24" "$KRV_E2E_DIR/rec-info.txt" || krv_fail "libsndfile: valid bits are not 24"
grep -qE "Frames *: 96000" "$KRV_E2E_DIR/rec-info.txt" || krv_fail "libsndfile: not one second"
echo "ok: REC wrote an extensible 96000 Hz / 24-bit file"
[ -f "$KRV_E2E_DIR/rec.txt" ] || krv_fail "no property sheet beside the file"
krv_close_main_window

# A fresh program: an illegal file changes nothing, the saved file gives the same state.
krv_start_main_window_captured
krv_open_settings
sed 's/DefaultPeriod=5/DefaultPeriod=100/' "$cfg" >"$KRV_E2E_DIR/illegal.cfg"
krv_file_dialog BitBtnExt_Load "$KRV_E2E_DIR/illegal.cfg"
krv_error_box "Error - Illegal Setting File."
expect_text ComboBoxEx_SamplingRate 48000 "rate after an illegal file"
krv_file_dialog BitBtnExt_Load "$cfg"
for _ in $(seq 50); do [ "$(ctl text ComboBoxEx_SamplingRate)" = 96000 ] && break; sleep 0.1; done
expect_text ComboBoxEx_SamplingRate 96000 "rate after loading"
expect_text ComboBoxEx_Quantization 24 "bits after loading"
expect_text EditHex_DefaultPeriod 5 "default period after loading"
ctl press BitBtnExt_Close || krv_fail "CLOSE"
expect_text Label_Fs_Value 96000 "rate of the loaded file"
krv_open_settings
# The user's own files of the names a save might use for its temporary file
# stay as they are and do not block the save.
printf 'mine\r\n' >"$KRV_E2E_DIR/again.cfg.new"
mkdir -p "$KRV_E2E_DIR/again.cfg.tmp0"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/again.cfg"
wait_file "$KRV_E2E_DIR/again.cfg"
cmp "$cfg" "$KRV_E2E_DIR/again.cfg" || krv_fail "the loaded state saves differently"
[ "$(cat "$KRV_E2E_DIR/again.cfg.new")" = "$(printf 'mine\r')" ] || krv_fail "the save touched again.cfg.new"
[ -d "$KRV_E2E_DIR/again.cfg.tmp0" ] || krv_fail "the save touched the folder again.cfg.tmp0"
leftover="$(find "$KRV_E2E_DIR" -maxdepth 1 -name 'again.cfg.tmp*' ! -name again.cfg.tmp0)"
[ -z "$leftover" ] || krv_fail "the save left $leftover behind"
# Saving over a hidden file keeps it hidden.
attrib() { "$KRV_WINE" attrib.exe "$@" </dev/null | tr -d '\r'; }
sed 's/DefaultPeriod=5/DefaultPeriod=7/' "$cfg" >"$KRV_E2E_DIR/again.cfg"
attrib +h "$(_krv_winepath "$KRV_E2E_DIR/again.cfg")"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/again.cfg"
for _ in $(seq 50); do cmp -s "$cfg" "$KRV_E2E_DIR/again.cfg" && break; sleep 0.1; done
cmp "$cfg" "$KRV_E2E_DIR/again.cfg" || krv_fail "the save over the hidden file"
[[ "$(attrib "$(_krv_winepath "$KRV_E2E_DIR/again.cfg")")" == *H*again.cfg ]] || krv_fail "again.cfg is no longer hidden"
leftover="$(ls "$KRV_E2E_DIR" | grep -E '^again\.cfg\.tmp[1-9]|\.tmp$')"
[ -z "$leftover" ] || krv_fail "the save left $leftover behind"
ctl press BitBtnExt_Cancel || krv_fail "CANCEL"
echo "ok: a saved file loads into a fresh program as the same state; an illegal one changes nothing; a hidden one stays hidden"
krv_close_main_window
