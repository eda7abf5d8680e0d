#!/usr/bin/env bash
# The signal editor: Signals opens it, a range check puts the bound and says
# why, CANCEL drops the working copy, CLOSE delivers it; Play then plays the
# edited set.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup signals-edit

krv_start_main_window_captured
ctl() { krvctl --wait 2000 "$@"; }

# leave NAME: Tab out of an edit, as the user does (its range check runs).
leave() { ctl key "$1" TAB || krv_fail "Tab in $1"; }

ctl press BitBtnExt_Signals || krv_fail "Signals"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
krv_expect_eq "$(ctl text EditHex_Freq_1)" 1000 "frequency of signal 1"
krv_screenshot "$KRV_E2E_DIR/signals-window.png" && echo "screenshot: $KRV_E2E_DIR/signals-window.png"

# 30000 Hz at 48000 Hz becomes 23999 with its message.
ctl focus EditHex_Freq_1 || krv_fail "focus EditHex_Freq_1"
ctl set-text EditHex_Freq_1 30000
leave EditHex_Freq_1
krv_error_box "Error - Cannot set more than 23999 to Frequency."
krv_expect_eq "$(ctl text EditHex_Freq_1)" 23999 "frequency after the check"
ctl press BitBtnExt_Cancel || krv_fail "CANCEL"
krv_expect_eq "$(krvctl window-state TFormSignals)" hidden "editor hidden after CANCEL"

# Reopened, it shows the main window's records again.
ctl press BitBtnExt_Signals || krv_fail "Signals again"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor the second time"
krv_expect_eq "$(ctl text EditHex_Freq_1)" 1000 "the cancelled frequency is dropped"

# Signal 2: a 997 Hz square at -10 dB on the left.
ctl tab PageControl_Signals 1 || krv_fail "page Signal 2"
krv_expect_eq "$(ctl visible EditHex_Freq_2)" yes "page Signal 2 shown"
ctl set-text EditHex_Freq_2 997
ctl set-text EditHex_Amp_2 -10
ctl select ComboBoxEx_Waveform_2 Square || krv_fail "waveform list"
ctl select ComboBoxEx_Output_2 "L ch" || krv_fail "output list"
ctl press BitBtnExt_Close || krv_fail "CLOSE"
krvctl error-box >/dev/null && krv_fail "an error box after CLOSE"

ctl press BitBtnExt_Play || krv_fail "Play"
sleep 2
ctl press BitBtnExt_Stop || krv_fail "Stop"
krv_keep_capture square
python3 "$(dirname "${BASH_SOURCE[0]}")/signals_check.py" square "$KRV_E2E_DIR/square.wav" 997 \
  || krv_fail "the capture is not the band-limited 997 Hz square on the left beside the start-up sine"
echo "ok: a band-limited 997 Hz square on the left, the start-up sine on both"

# A loaded noise phase of 90, which the phase list does not offer, is kept
# by Save; a file that does not exist is illegal and is not created.
ctl press BitBtnExt_Signals || krv_fail "Signals for the files"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor for the files"
krv_expect_eq "$(ctl text EditHex_Freq_2)" 997 "CLOSE delivered signal 2"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/saved.sig"
for _ in $(seq 1 50); do [ -s "$KRV_E2E_DIR/saved.sig" ] && break; sleep 0.1; done
python3 - "$KRV_E2E_DIR/saved.sig" "$KRV_E2E_DIR/phase90.sig" <<'PY' || krv_fail "no saved set to change"
import sys
text = open(sys.argv[1], "rb").read().decode()
head, noise = text.split("[SignalAttribute5]")
open(sys.argv[2], "wb").write((head + "[SignalAttribute5]" + noise.replace("Phase=0", "Phase=90", 1)).encode())
PY
krv_file_dialog BitBtnExt_Load "$KRV_E2E_DIR/missing.sig"
krv_error_box "Error - Illegal Setting File."
[ -e "$KRV_E2E_DIR/missing.sig" ] && krv_fail "loading created the missing file"
krv_file_dialog BitBtnExt_Load "$KRV_E2E_DIR/phase90.sig"
sleep 0.5
krvctl error-box && krv_fail "the set with phase 90 was refused"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/resaved.sig"
for _ in $(seq 1 50); do [ -s "$KRV_E2E_DIR/resaved.sig" ] && break; sleep 0.1; done
cmp -s "$KRV_E2E_DIR/phase90.sig" "$KRV_E2E_DIR/resaved.sig" || krv_fail "the loaded set was not saved unchanged"
echo "ok: an illegal file is refused, a loaded noise phase of 90 is saved unchanged"

# The close box drops the working copy and frees the main window.
krvctl close TFormSignals || krv_fail "close box"
for _ in $(seq 1 50); do [ "$(krvctl window-state TFormSignals)" = hidden ] && break; sleep 0.1; done
ctl press BitBtnExt_Signals || krv_fail "Signals after the close box"
krv_expect_eq "$(krvctl window-state TFormSignals)" normal "the editor opens again after its close box"

# A click on CLOSE that takes the focus from an edit out of range: the check
# corrects the edit and says so, then the click goes through.
ctl tab PageControl_Signals 2 || krv_fail "page Signal 3"
ctl focus EditHex_Freq_3 || krv_fail "focus EditHex_Freq_3"
ctl set-text EditHex_Freq_3 5
ctl click BitBtnExt_Close || krv_fail "CLOSE"
krv_error_box "Error - Cannot set less than 10 to Frequency."
for _ in $(seq 1 50); do [ "$(krvctl window-state TFormSignals)" = hidden ] && break; sleep 0.1; done
krv_expect_eq "$(krvctl window-state TFormSignals)" hidden "CLOSE went through after the message"
ctl press BitBtnExt_Signals || krv_fail "Signals after CLOSE"
krv_expect_eq "$(ctl text EditHex_Freq_3)" 10 "the corrected frequency was delivered"
ctl press BitBtnExt_Cancel || krv_fail "CANCEL"

krv_close_main_window
