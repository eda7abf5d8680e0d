#!/usr/bin/env bash
# Recording onto a disk that fills up: a 1 MiB tmpfs, reached through Wine's
# Z: drive, holds a file "tone.wav" already; a 10 s recording of that name
# (1.9 MB) does not fit. The error box names the full disk, the existing file
# is untouched, no property sheet and no temporary file are left, and the
# recording window stays open for another try.
#
# Mounting needs root (or sudo without a password); without it the test is
# skipped.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup record_disk_full

disk="$KRV_E2E_DIR/disk"
mkdir -p "$disk"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo -n)
if ! "${as_root[@]}" mount -t tmpfs -o size=1m,mode=0777 krv_disk_full "$disk"; then
  echo "SKIP: no tmpfs can be mounted here"
  exit 77
fi
trap '_krv_e2e_cleanup; "${as_root[@]}" umount -l "$disk"' EXIT
printf 'precious' >"$disk/tone.wav"

krv_start_main_window
krv_choose_property_sheet All
krvctl --wait 5000 press BitBtnExt_Rec || krv_fail "REC"
krvctl wait-class TFormRecord 10000 || krv_fail "no recording window"
krv_choose_record_file "$disk/tone"
krv_expect_eq "$(krvctl text EditHex_Record_Time)" 10 "record time"
krvctl click BitBtnExt_Record || krv_fail "RECORD"

boxes="$(krv_wait_error_box 30)"
echo "error box: $boxes"
[[ "$boxes" == *"Error - Cannot write the file"*"tone.wav"* ]] || krv_fail "no write error box: '$boxes'"
grep -qiE 'disk|space' <<<"$boxes" || krv_fail "the box does not name the full disk: '$boxes'"

krv_expect_eq "$(cat "$disk/tone.wav")" precious "the existing file"
krv_expect_eq "$(ls "$disk")" tone.wav "files on the disk"
krv_expect_eq "$(krvctl visible BitBtnExt_Record)" yes "recording window still open"
