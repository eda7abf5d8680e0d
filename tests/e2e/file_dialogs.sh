#!/usr/bin/env bash
# Handles over many file dialogs: the settings window's Load and Save
# buttons open 100 dialogs (KRV_FILE_DIALOGS, a multiple of four, sets
# another count), a quarter each cancelled and accepted of either kind, after
# one of each to warm up. The program's handles stay within 5 of where they
# were, registry keys aside: Wine's dialog itself keeps one registry key open
# per accepted dialog (a program that does nothing but call GetOpenFileNameW
# does the same), so keys may grow by one per accepted dialog and no more.
# GDI and USER objects stay within 5 as well (Wine counts none).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup file-dialogs

dialogs=${KRV_FILE_DIALOGS:-100}
each=$((dialogs / 4))
cfg="$(_krv_winepath "$KRV_E2E_DIR/dialogs.cfg")"

krv_start_main_window
krv_open_settings
# cycles BUTTON FILE|-: EACH dialogs; their counts are added to the totals.
declare -A before=() after=()
cycles() {
  local out key
  out="$(krvctl --wait 5000 file-dialogs "$each" "$1" "$2")" || krv_fail "$1 $2: $out"
  echo "$1 $2: $(head -1 <<<"$out")"
  for key in handles keys gdi user; do
    read -r b a < <(sed -n "s/^$key //p" <<<"$out")
    before[$key]=$((${before[$key]:-0} + b))
    after[$key]=$((${after[$key]:-0} + a))
  done
}
krvctl --wait 5000 file-dialogs 1 BitBtnExt_Save "$cfg" >/dev/null || krv_fail "warm-up save"
krvctl --wait 5000 file-dialogs 1 BitBtnExt_Load - >/dev/null || krv_fail "warm-up load"
cycles BitBtnExt_Load -
cycles BitBtnExt_Load "$cfg"
cycles BitBtnExt_Save -
cycles BitBtnExt_Save "$cfg"
growth() { echo $((${after[$1]} - ${before[$1]})); }
others=$(($(growth handles) - $(growth keys)))
echo "over $dialogs dialogs: handles +$(growth handles) (registry keys +$(growth keys), others +$others)," \
  "GDI objects +$(growth gdi), USER objects +$(growth user)"
[ "$others" -le 5 ] || krv_fail "handles other than registry keys grew by $others"
[ "$(growth keys)" -le $((2 * each + 5)) ] || krv_fail "registry keys grew by $(growth keys)"
[ "$(growth gdi)" -le 5 ] || krv_fail "GDI objects grew by $(growth gdi)"
[ "$(growth user)" -le 5 ] || krv_fail "USER objects grew by $(growth user)"
krvctl --wait 5000 press BitBtnExt_Cancel || krv_fail "CANCEL"
krv_close_main_window
