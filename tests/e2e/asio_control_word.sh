#!/usr/bin/env bash
# A driver that leaves the floating-point control changed (MODE: 53bit,
# zero, down or up; the test driver's KRV_TEST_ASIO_CONTROL_WORD) in every
# call it gets and, through a window of its own, every 20 ms on the thread
# that opened it: chosen in the settings window, that is the user-interface
# thread, which records WAV files and quantises the driver road's first
# seconds. With tones on both channels (a sine, a square on the left, a
# sawtooth burst on the right) at 48000 Hz and 32 bits:
# - REC writes, bit for bit, what the engine makes of the saved set at unity
#   gain (signals_expect);
# - played through the driver at -20 dB, its capture is, from the first
#   frame on, the engine's output at -20 dB as the driver's type stores it
#   (asio_check.py);
# - played through wave-out after the driver has run, at 16 bits and -20 dB,
#   the capture is the engine's output (signals_expect).
#
# CALLBACK (timeinfo, the default, or plain) is the driver's callback: with
# plain the host asks the driver for the sample position inside each buffer
# switch, and the driver changes the control words there too.
set -u
mode="${1:?usage: asio_control_word.sh 53bit|zero|down|up [timeinfo|plain]}"
callback="${2:-timeinfo}"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup "asio-control-word-$mode-$callback"
source "$KRV_ROOT/tests/e2e/asio_common.sh"
check="$KRV_ROOT/tests/e2e/signals_check.py"

export KRV_TEST_ASIO_CONTROL_WORD="$mode" KRV_TEST_ASIO_CALLBACK="$callback" KRV_TEST_ASIO_OUTPUTS=2 KRV_TEST_ASIO_TYPE=18 KRV_TEST_ASIO_RATE=48000

# The program's folder: REC's proposed file name is relative to it.
cd "$KRV_E2E_DIR" || krv_fail "no work folder"
krv_start_main_window_captured

# The set: edited in the signal editor and saved for signals_expect.
ctl press BitBtnExt_Signals || krv_fail "Signals"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
edit() { ctl "$@" || krv_fail "signal editor: $*"; }
edit tab PageControl_Signals 0
edit set-text EditHex_Freq_1 997
edit set-text EditHex_Amp_1 -3
edit tab PageControl_Signals 1
edit select ComboBoxEx_Waveform_2 Square
edit set-text EditHex_Freq_2 441
edit set-text EditHex_Amp_2 -10
edit select ComboBoxEx_Output_2 "L ch"
edit tab PageControl_Signals 2
edit select ComboBoxEx_Waveform_3 Saw
edit set-text EditHex_Freq_3 250
edit set-text EditHex_Amp_3 -12
edit select ComboBoxEx_Output_3 "R ch"
edit set-text EditHex_CycleOn_3 3
edit set-text EditHex_CycleOff_3 2
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/set.sig"
for _ in $(seq 1 100); do [ -s "$KRV_E2E_DIR/set.sig" ] && break; sleep 0.1; done
[ -s "$KRV_E2E_DIR/set.sig" ] || krv_fail "no signal set saved"
ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
krv_no_error_box "the signal editor's CLOSE"

# 32 bits (only a settings file gives them), ASIO through the test driver on
# the pair 0 / 1.
krv_settings_file "$KRV_E2E_DIR/asio-32.cfg" Quantization=32 OutputDevice=ASIO
krv_load_settings "$KRV_E2E_DIR/asio-32.cfg" ComboBoxEx_Quantization 32
ctl tab PageControl_Global 1 || krv_fail "Output page"
ctl select ComboBoxEx_AsioDevice "KRV Test Driver" || krv_fail "pick the test driver"
ctl select ComboBoxEx_AsioChannel "0 / 1" || krv_fail "pick 0 / 1"
ctl press BitBtnExt_Close || krv_fail "CLOSE"
krv_no_error_box "settings"
krv_expect_eq "$(ctl text Label_Quant_Value)" 32 "quantization shown"
grep -q "^init" "$KRV_E2E_DIR/driver.log" || krv_fail "the driver was not opened by the settings window"

# expect NAME BITS SECONDS [unity]: the engine's output for the set.
expect() {
  krv_run_exe signals_expect.exe "$(_krv_winepath "$KRV_E2E_DIR/set.sig")" 48000 "$2" "$3" \
    "$(_krv_winepath "$KRV_E2E_DIR/$1.raw")" "${@:4}" || krv_fail "$1: signals_expect"
}

# REC on the user-interface thread, after the driver's calls, into the file
# the recording window proposes.
ctl press BitBtnExt_Rec || krv_fail "REC"
krv_wait_window TFormRecord 10000 || krv_fail "no recording window"
proposed="$(ctl text Edit_Record_FileName)" || krv_fail "the proposed file name"
ctl focus EditHex_Record_Time || krv_fail "focus the record time"
ctl set-text EditHex_Record_Time 2 || krv_fail "record time"
ctl press BitBtnExt_Record || krv_fail "RECORD"
krv_no_error_box "RECORD"
[ -f "$KRV_E2E_DIR/$proposed" ] || krv_fail "no recorded file $proposed"
mv "$KRV_E2E_DIR/$proposed" "$KRV_E2E_DIR/reference.wav"
expect reference 32 2 unity
# same WAV RAW: the file's codes are the raw output's, bit for bit.
same() {
  python3 - "$KRV_ROOT/tools" "$1" "$2" <<'PY'
import struct
import sys
sys.path.insert(0, sys.argv[1])
from analyze_wav import read_wav

info, channels = read_wav(sys.argv[2])
assert info["rate"] == 48000 and info["channels"] == 2, info
codes = [[round(v * 2 ** (info["valid_bits"] - 1)) for v in ch] for ch in channels]
data = open(sys.argv[3], "rb").read()
values = struct.unpack("<%di" % (len(data) // 4), data)
expected = [list(values[0::2]), list(values[1::2])]
assert info["frames"] == len(expected[0]), (info["frames"], len(expected[0]))
differ = sum(a != b for c in range(2) for a, b in zip(codes[c], expected[c]))
print("%d frames, %d samples differ from the engine's" % (info["frames"], differ))
assert differ == 0
assert any(codes[0]) and any(codes[1]), "silence"
PY
}
same "$KRV_E2E_DIR/reference.wav" "$KRV_E2E_DIR/reference.raw" ||
  krv_fail "the recording is not what the engine makes of the set"
echo "ok: REC after the driver's calls is bit for bit the engine's output"

# The driver road at -20 dB: its first seconds are quantised on the
# user-interface thread right after the driver's reset, init and rate calls.
# The engine's output at -20 dB becomes the 32-bit reference asio_check.py
# converts by the driver's type.
expect attenuated 32 2
python3 - "$KRV_E2E_DIR/attenuated.raw" "$KRV_E2E_DIR/attenuated.wav" <<'PY' || krv_fail "attenuated.wav"
import sys
import wave
data = open(sys.argv[1], "rb").read()
with wave.open(sys.argv[2], "wb") as w:
    w.setnchannels(2)
    w.setsampwidth(4)
    w.setframerate(48000)
    w.writeframes(data)
PY
asio_play play 3
asio_check play "$KRV_E2E_DIR/attenuated.wav" 32 18 0 1

# Wave-out at 16 bits and -20 dB (signals_expect's gains) after the driver.
krv_open_settings
ctl select ComboBoxEx_Quantization 16 || krv_fail "pick 16 bits"
ctl tab PageControl_Global 1 || krv_fail "Output page"
ctl select ComboBoxEx_Device WaveMapper || krv_fail "pick the wave mapper"
ctl press BitBtnExt_Close || krv_fail "CLOSE"
krv_no_error_box "settings"
ctl press BitBtnExt_Play || krv_fail "wave-out: Play"
sleep 2
ctl press BitBtnExt_Stop || krv_fail "wave-out: Stop"
krv_keep_capture waveout
expect waveout 16 6
python3 "$check" exact "$KRV_E2E_DIR/waveout.wav" "$KRV_E2E_DIR/waveout.raw" 4 ||
  krv_fail "wave-out after the driver is not the engine's output"
echo "ok: wave-out after the driver's calls is bit for bit the engine's output"

asio_close
