#!/usr/bin/env bash
# The signal editor at 32000 Hz: the start-up set saved through Save loads
# back through Load (its sweep record's hidden stop of 20000 Hz is saved as
# 15999); a file whose second record is noise with a frequency of 5 Hz is
# refused; an amplitude edit emptied by Backspace or by Delete keeps its "-"
# and gives its lower bound with the message; the noise page's phase list
# shows its unit; the six tab captions are shown whole (screenshots in the
# work folder).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup signals-files

krv_start_main_window
ctl() { krvctl --wait 5000 "$@"; }
wait_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  krv_fail "no file $1"
}

krv_open_settings
ctl select ComboBoxEx_SamplingRate 32000 || krv_fail "pick 32000"
ctl press BitBtnExt_Close || krv_fail "settings CLOSE"
krv_expect_eq "$(ctl text Label_Fs_Value)" 32000 "rate after CLOSE"

ctl press BitBtnExt_Signals || krv_fail "Signals"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
krv_screenshot "$KRV_E2E_DIR/signals-tabs.png" && echo "screenshot: $KRV_E2E_DIR/signals-tabs.png"

# Saved without touching anything, loaded back at the same rate.
sig="$KRV_E2E_DIR/start32k.sig"
krv_file_dialog BitBtnExt_Save "$sig"
wait_file "$sig"
stop="$(awk -F= '/^\[SignalAttribute4\]/ { s = 1 } s && /^SweepFrequencyStop=/ { print $2; exit }' "$sig" | tr -d '\r')"
krv_expect_eq "$stop" 15999 "sweep stop saved at 32000 Hz"
krv_file_dialog BitBtnExt_Load "$sig"
sleep 0.5
if text="$(krvctl error-box)"; then krv_fail "the set saved at 32000 Hz was refused: $text"; fi
echo "ok: the start-up set saved at 32000 Hz loads back"

# A tone record that a file made noise keeps the frequency its page shows:
# 5 Hz is refused at load, and the editor keeps what it had.
python3 - "$sig" "$KRV_E2E_DIR/noise5.sig" <<'PY' || krv_fail "no file to change"
import sys
text = open(sys.argv[1], "rb").read().decode()
head, rest = text.split("[SignalAttribute1]")
rest = rest.replace("Frequency=1000", "Frequency=5", 1).replace("Waveform=SINE", "Waveform=NOISE", 1)
rest = rest.replace("CycleOn=1", "CycleOn=0", 1)
open(sys.argv[2], "wb").write((head + "[SignalAttribute1]" + rest).encode())
PY
krv_file_dialog BitBtnExt_Load "$KRV_E2E_DIR/noise5.sig"
krv_error_box "Error - Illegal Setting File."
krv_expect_eq "$(ctl text EditHex_Freq_2)" 1000 "frequency of signal 2 after the refused file"

# Emptying an amplitude edit either way gives the lower bound and says so.
ctl focus EditHex_Amp_1 || krv_fail "focus EditHex_Amp_1"
ctl key EditHex_Amp_1 END && ctl key EditHex_Amp_1 BACK || krv_fail "Backspace"
for _ in $(seq 50); do [ "$(ctl text EditHex_Amp_1)" = "-" ] && break; sleep 0.1; done
krv_expect_eq "$(ctl text EditHex_Amp_1)" "-" "amplitude after Backspace"
ctl key EditHex_Amp_1 TAB || krv_fail "Tab"
krv_error_box "Error - Cannot set less than -96 to Amplitude."
krv_expect_eq "$(ctl text EditHex_Amp_1)" -96 "amplitude emptied by Backspace"
ctl focus EditHex_Amp_1 || krv_fail "focus EditHex_Amp_1 again"
ctl set-text EditHex_Amp_1 -6
ctl key EditHex_Amp_1 HOME && ctl key EditHex_Amp_1 DELETE && ctl key EditHex_Amp_1 DELETE || krv_fail "Delete"
for _ in $(seq 50); do [ "$(ctl text EditHex_Amp_1)" = "-" ] && break; sleep 0.1; done
krv_expect_eq "$(ctl text EditHex_Amp_1)" "-" "amplitude after Delete"
ctl key EditHex_Amp_1 TAB || krv_fail "Tab"
krv_error_box "Error - Cannot set less than -96 to Amplitude."
krv_expect_eq "$(ctl text EditHex_Amp_1)" -96 "amplitude emptied by Delete"

# The noise page: its phase list has the unit every phase control has.
ctl tab PageControl_Signals 5 || krv_fail "page Noise"
krv_expect_eq "$(ctl visible Label_Unit_ComboBoxEx_Phase_Noise)" yes "unit of the noise phase shown"
krv_expect_eq "$(ctl text Label_Unit_ComboBoxEx_Phase_Noise)" degree "unit of the noise phase"
krv_screenshot "$KRV_E2E_DIR/signals-noise.png" && echo "screenshot: $KRV_E2E_DIR/signals-noise.png"

ctl press BitBtnExt_Cancel || krv_fail "CANCEL"
krv_close_main_window
