#!/usr/bin/env bash
# Playing through an ASIO driver: the test driver (four outputs, running in
# real time) is chosen in the settings window with the channel pair 2 / 3, and
# a 997 Hz sine is set in the signal editor. It is recorded at unity gain for
# reference, then played with -20dB off at 24 bits to a Float32LSB driver and
# at 32 bits to an Int32LSB one: the driver's capture holds on outputs 2 and 3
# exactly the recorded samples, second after second with no frame lost or
# repeated, silence on outputs 0 and 1, and silence once Stop is pressed.
# Stop followed at once by Play keeps playing; closing the program while it
# plays shows no error box.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup asio-play

# The test driver's bench settings, read by the driver in the program.
capture="$KRV_E2E_DIR/asio-capture.wav"
export KRV_TEST_ASIO_OUTPUTS=4 KRV_TEST_ASIO_CAPTURE="$(_krv_winepath "$capture")"

ctl() { krvctl --wait 5000 "$@"; }
# settings BITS: 48000 Hz at BITS bits, ASIO through the test driver on 2 / 3.
settings() {
  krv_open_settings
  ctl select ComboBoxEx_Quantization "$1" || krv_fail "pick $1 bits"
  krv_choose_test_driver "2 / 3"
  krv_expect_eq "$(ctl text ComboBoxEx_AsioChannel)" "2 / 3" "channel pair"
  ctl press BitBtnExt_Close || krv_fail "CLOSE"
  krv_expect_eq "$(ctl text Label_Quant_Value)" "$1" "quantization shown"
}

# load_settings BITS: a settings file with 48000 Hz at BITS bits (32 bits only
# come from a file) loaded in the settings window, then CLOSE.
load_settings() {
  local cfg="$KRV_E2E_DIR/asio-$1.cfg"
  krv_settings_file "$cfg" "Quantization=$1" OutputDevice=ASIO
  krv_load_settings "$cfg" ComboBoxEx_Quantization "$1"
  ctl press BitBtnExt_Close || krv_fail "CLOSE"
  krv_expect_eq "$(ctl text Label_Quant_Value)" "$1" "quantization shown"
}

# sine_997: signal 1 becomes a 997 Hz sine in the signal editor, then CLOSE.
sine_997() {
  ctl press BitBtnExt_Signals || krv_fail "Signals"
  krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
  ctl set-text EditHex_Freq_1 997 || krv_fail "frequency of signal 1"
  ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
  krv_no_error_box "the signal editor's CLOSE"
}

# play NAME SECONDS: Play, wait, Stop; the driver's capture of this play is NAME.wav.
play() {
  ctl press BitBtnExt_Play || krv_fail "$1: Play"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "$1: Play picture while playing"
  sleep "$2"
  ctl press BitBtnExt_Stop || krv_fail "$1: Stop"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "$1: Play picture after Stop"
  sleep 0.5  # silent halves until the display thread has stopped the driver
  krv_no_error_box "$1"
  cp "$capture" "$KRV_E2E_DIR/$1.wav"
}

# compare CAPTURE REFERENCE BITS: outputs 2 and 3 carry the reference's
# left and right, period after period, then silence; outputs 0 and 1 silence.
compare() {
  python3 - "$KRV_ROOT/tools" "$@" <<'PY' || krv_fail "$2: the capture is not the recorded signal"
import sys
sys.path.insert(0, sys.argv[1])
from analyze_wav import read_wav

capture, reference, bits = sys.argv[2], sys.argv[3], int(sys.argv[4])
scale = (1 << (bits - 1)) - 1
info, outputs = read_wav(capture)
ref_info, ref = read_wav(reference)
assert info["channels"] == 4 and info["bits"] == 32, info
rate = ref_info["rate"]
assert rate == 48000 and info["rate"] == rate, (info, ref_info)

# The driver's 32-bit integers or floats back to the quantised codes; the
# reference's left-justified codes likewise.
def driver_codes(values):
    if info["format"] == "float":
        return [round(v * scale) for v in values]
    return [round(round(v * 2 ** 31) * scale / 2147483647) for v in values]
def file_codes(values):
    return [round(v * 2 ** (ref_info["valid_bits"] - 1)) for v in values]

left, right = file_codes(ref[0][:rate]), file_codes(ref[1][:rate])
assert file_codes(ref[0][rate:2 * rate]) == left, "the reference is not periodic"
crossings = sum((a < 0) != (b < 0) for a, b in zip(left, left[1:] + left[:1]))
assert crossings == 2 * 997, "the reference is not a 997 Hz sine (%d sign changes a second)" % crossings
out = [driver_codes(channel) for channel in outputs]
frames = info["frames"]
end = 0
while end < frames and out[2][end] == left[end % rate] and out[3][end] == right[end % rate]:
    end += 1
print("frames %d, played %d (%.3f s), then %d silent" % (frames, end, end / rate, frames - end))
assert end >= 2 * rate, "fewer than two seconds match the recorded signal"
assert not any(out[0]) and not any(out[1]), "outputs 0 and 1 are not silent"
assert not any(out[2][end:]) and not any(out[3][end:]), "a frame differs while playing (dropout or repeat)"
PY
  echo "ok: $2 arrives exactly on outputs 2 and 3"
}

# play_exact BITS: the reference recorded, played at unity gain and compared.
play_exact() {
  krv_record_seconds "reference-$1" 2
  ctl press BitBtnExt_ATT || krv_fail "-20dB off"  # unity gain, as recorded
  play "play-$1" 3
  compare "$KRV_E2E_DIR/play-$1.wav" "$KRV_E2E_DIR/reference-$1.wav" "$1"
  ctl press BitBtnExt_ATT || krv_fail "-20dB on"
}

# The driver's sample type is fixed when the program creates it: one program
# for each type. Float32LSB carries every 24-bit code exactly.
export KRV_TEST_ASIO_TYPE=19
krv_start_main_window
settings 24
sine_997
play_exact 24
krv_close_main_window

export KRV_TEST_ASIO_TYPE=18
krv_start_main_window
settings 24
load_settings 32
sine_997
play_exact 32

# Stop followed at once by Play: the stop never reaches the new play.
ctl press BitBtnExt_Play || krv_fail "Play"
sleep 1
ctl press BitBtnExt_Stop || krv_fail "Stop"
ctl press BitBtnExt_Play || krv_fail "Play at once"
sleep 2
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "playing after Stop and Play"
# The driver still runs: its capture (begun anew by the second Play) grows
# and ends in sound.
before=$(stat -c %s "$capture")
sleep 0.5
[ "$(stat -c %s "$capture")" -gt "$before" ] || krv_fail "the driver stopped after Stop and Play"
cp "$capture" "$KRV_E2E_DIR/restart.wav"
python3 - "$KRV_ROOT/tools" "$KRV_E2E_DIR/restart.wav" <<'PY' || krv_fail "the play after Stop and Play is silent"
import sys
sys.path.insert(0, sys.argv[1])
from analyze_wav import read_wav
info, outputs = read_wav(sys.argv[2])
assert info["frames"] >= 1.5 * info["rate"], info
assert any(outputs[2][-4800:]), "silent at the end"
print("captured %.3f s" % info["seconds"])
PY
echo "ok: Stop then Play at once keeps playing"
ctl press BitBtnExt_ATT || krv_fail "-20dB off"  # a gain change while playing sends nothing to the driver's thread

# Closing the program while it plays: no error box, exit code 0.
krvctl close TFormMain || krv_fail "krvctl close failed"
krv_wait_exit "$KRV_PROGRAM" 20
krv_expect_eq "$?" 0 "exit code of KRV-2400.exe after closing while playing"
