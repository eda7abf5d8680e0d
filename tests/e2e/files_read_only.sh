#!/usr/bin/env bash
# Files that cannot be written, in every window that writes one: a read-only
# WAV file, settings file and signal set file (attrib +r) of the names chosen.
#  1. REC at 384000 Hz, 24 bits, 10 s, with the property sheet "All": the box
#     comes before the first second is written (the progress bar still at
#     0), the file is as it was and still read-only, no sheet and no
#     temporary file are left, and the recording window stays open.
#  2. The settings window's and the signal editor's Save: the same box.
# Every box has the same wording: "Error - Cannot write the file "<name>":
# it is read-only."
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup files-read-only

krv_start_main_window
ctl() { krvctl --wait 5000 "$@"; }
attrib() { "$KRV_WINE" attrib.exe "$@" </dev/null | tr -d '\r'; }
# read_only FILE: FILE holds "precious" and is marked read-only.
read_only() {
  printf 'precious' >"$1"
  attrib +r "$(_krv_winepath "$1")"
  [[ "$(attrib "$(_krv_winepath "$1")")" == *R*"$(basename "$1")" ]] || krv_fail "$1 is not read-only"
}
refused() { echo "Error - Cannot write the file \"$(_krv_winepath "$1")\": it is read-only."; }
# untouched FILE: as read_only left it, and nothing beside it.
untouched() {
  krv_expect_eq "$(cat "$1")" precious "$(basename "$1") after the refusal"
  [[ "$(attrib "$(_krv_winepath "$1")")" == *R*"$(basename "$1")" ]] || krv_fail "$1 is no longer read-only"
  local left
  left="$(find "$(dirname "$1")" -maxdepth 1 -name "$(basename "$1" | sed 's/\..*//').*" ! -name "$(basename "$1")")"
  [ -z "$left" ] || krv_fail "left beside $(basename "$1"): $left"
}

cfg="$KRV_E2E_DIR/heavy.cfg"
krv_settings_file "$cfg" SamplingRate=384000 Quantization=24 "PropertySheet=All"
krv_load_settings "$cfg" ComboBoxEx_SamplingRate 384000

# 2a. The settings window's Save.
mkdir -p "$KRV_E2E_DIR/saves"
read_only "$KRV_E2E_DIR/saves/settings.cfg"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/saves/settings.cfg"
krv_error_box "$(refused "$KRV_E2E_DIR/saves/settings.cfg")"
untouched "$KRV_E2E_DIR/saves/settings.cfg"
ctl press BitBtnExt_Close || krv_fail "the settings window's CLOSE"
echo "ok: the settings window's Save refused with the common wording"

# 2b. The signal editor's Save.
ctl press BitBtnExt_Signals || krv_fail "Signals"
krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
read_only "$KRV_E2E_DIR/saves/signals.sig"
krv_file_dialog BitBtnExt_Save "$KRV_E2E_DIR/saves/signals.sig"
krv_error_box "$(refused "$KRV_E2E_DIR/saves/signals.sig")"
untouched "$KRV_E2E_DIR/saves/signals.sig"
ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
echo "ok: the signal editor's Save refused with the common wording"

# 1. REC onto a read-only WAV file.
mkdir -p "$KRV_E2E_DIR/wav"
read_only "$KRV_E2E_DIR/wav/tone.wav"
ctl press BitBtnExt_Rec || krv_fail "REC"
krvctl wait-class TFormRecord 10000 || krv_fail "no recording window"
krv_choose_record_file "$KRV_E2E_DIR/wav/tone"
krv_expect_eq "$(ctl text EditHex_Record_Time)" 10 "record time"
start=$(date +%s%N)
ctl click BitBtnExt_Record || krv_fail "RECORD"
boxes="$(krv_wait_error_box 30)"
echo "box after $((($(date +%s%N) - start) / 1000000)) ms: $boxes"
progress="$(ctl position ProgressBar_Record)"
echo "progress bar while the box is up: $progress"
krv_error_box "$(refused "$KRV_E2E_DIR/wav/tone.wav")"
krv_expect_eq "$progress" 0 "progress bar when the refusal came (seconds written before it)"
untouched "$KRV_E2E_DIR/wav/tone.wav"
krv_expect_eq "$(ctl visible BitBtnExt_Record)" yes "recording window still open"
ctl press BitBtnExt_Cancel || krv_fail "the recording window's CANCEL"
echo "ok: REC onto a read-only file refused before the render"

krv_close_main_window
echo PASS
