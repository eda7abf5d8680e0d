#!/usr/bin/env bash
# KRV-2400 starts with its default state on the panels; the page and scope
# buttons switch the display area; a second start only brings the running
# window forward (restoring it when minimised) and ends with exit code 183
# (ERROR_ALREADY_EXISTS); closing ends the program with exit code 0.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-start

# The names of the pictures the main window's buttons show are global atoms
# while it runs; none may be left behind by an earlier run.
GLYPH_ATOMS=(_SignalInactive _Stop _WavFileInactive _RepeatActive _Settings _Signals _Exit _Off _LockLRActive)
for atom in "${GLYPH_ATOMS[@]}"; do krvctl delete-atom "$atom"; done
krv_start_main_window
ctl() { krvctl --wait 2000 "$@"; }

krv_expect_eq "$(ctl text FormMain)" "Signal Generator" "caption"
while read -r name value; do
  krv_expect_eq "$(ctl text "$name")" "$value" "$name"
done <<'LABELS'
Label_Fs_Value 48000
Label_Quant_Value 16
Label_Round_Value NEAR EVEN
Label_Dither_Value WHITE
Label_NS_Value OFF
Label_PlayTime_Value 0
Label_Gain_L 0
Label_Gain_R 0
Label_Ch1 1
Label_ChX +
BitBtnExt_Channel CHANNEL
BitBtnExt_Scope SCOPE
BitBtnExt_Mute MUTE
BitBtnExt_ATT -20dB
LABELS
while read -r name picture; do
  krv_expect_eq "$(ctl glyph "$name")" "$picture" "picture of $name"
done <<'PICTURES'
BitBtnExt_Play _SignalInactive
BitBtnExt_Rec _WavFileInactive
BitBtnExt_Repeat _RepeatActive
BitBtnExt_Lock _LockLRActive
BitBtnExt_Scope _Off
PICTURES
krv_expect_eq "$(ctl position TrackBar_L)" 0 "TrackBar_L at the top"
krv_expect_eq "$(ctl position ProgressBar_R)" 100 "ProgressBar_R full"
krv_expect_eq "$(ctl visible Panel_Setting_Global_1)" yes "global panel shown"
krv_expect_eq "$(ctl visible Panel_Setting_Signal_1)" no "signal panel hidden"
krv_expect_eq "$(ctl visible Chart_Lch)" no "left chart hidden"
krv_screenshot "$KRV_E2E_DIR/main-window.png" && echo "screenshot: $KRV_E2E_DIR/main-window.png"

# CHANNEL: the first tone record; SCOPE: the charts, then back to the page.
ctl press BitBtnExt_Channel || krv_fail "CHANNEL"
krv_expect_eq "$(ctl visible Panel_Setting_Signal_1)" yes "signal panel after CHANNEL"
krv_expect_eq "$(ctl visible Panel_Setting_Global_1)" no "global panel after CHANNEL"
krv_expect_eq "$(ctl text Label_Freq_Value)" 1000 "frequency of signal 1"
krv_expect_eq "$(ctl text Label_Output_Value)" "L R" "output of signal 1"
ctl press BitBtnExt_Scope || krv_fail "SCOPE"
krv_expect_eq "$(ctl visible Chart_Rch)" yes "right chart after SCOPE"
krv_expect_eq "$(ctl visible Panel_Setting_Signal_1)" no "signal panel under the charts"
krv_expect_eq "$(ctl glyph BitBtnExt_Scope)" _On "SCOPE picture, fixed axes"
ctl press BitBtnExt_Scope
krv_expect_eq "$(ctl glyph BitBtnExt_Scope)" _On1 "SCOPE picture, automatic axes"
ctl press BitBtnExt_Scope
krv_expect_eq "$(ctl glyph BitBtnExt_Scope)" _Off "SCOPE picture, panels"
krv_expect_eq "$(ctl visible Chart_Rch)" no "right chart after three SCOPE presses"
krv_expect_eq "$(ctl visible Panel_Setting_Signal_2)" yes "signal page back"
for i in 1 2 3 4 5; do ctl press BitBtnExt_Channel; done
krv_expect_eq "$(ctl visible Panel_Setting_Global_2)" yes "global page after six CHANNEL presses"

# A second start while another window is in front: it ends at once and the
# running window comes to the front.
krv_start_exe krvctl_fixture.exe
fixture=$KRV_PID
krv_wait_window KRVCtlFixture 60000 || krv_fail "fixture window did not appear"
krv_expect_eq "$(krvctl foreground)" KRVCtlFixture "another window in front"
krv_start_program
krv_wait_exit "$KRV_PID" 30
krv_expect_eq "$?" 183 "exit code of the second start (another instance runs)"
for i in $(seq 1 20); do [ "$(krvctl foreground)" = TFormMain ] && break; sleep 0.1; done
krv_expect_eq "$(krvctl foreground)" TFormMain "running window brought to the front"

# Minimised, a second start restores it.
krvctl minimize TFormMain || krv_fail "minimize"
for i in $(seq 1 20); do [ "$(krvctl window-state TFormMain)" = minimized ] && break; sleep 0.1; done
krv_expect_eq "$(krvctl window-state TFormMain)" minimized "main window minimised"
krv_start_program
krv_wait_exit "$KRV_PID" 30
krv_expect_eq "$?" 183 "exit code of the second start (another instance runs)"
for i in $(seq 1 20); do [ "$(krvctl window-state TFormMain)" = normal ] && break; sleep 0.1; done
krv_expect_eq "$(krvctl window-state TFormMain)" normal "main window restored"
krvctl --target-class TFormMain error-box >/dev/null && krv_fail "an error box is open"

krvctl close KRVCtlFixture
krv_wait_exit "$fixture" 20
# Closing: the worker threads end and are joined, the program exits with 0,
# and every global atom it added (button pictures, component names) is gone.
krv_close_main_window
for atom in "${GLYPH_ATOMS[@]}"; do
  krvctl atom "$atom" && krv_fail "the global atom $atom outlived the program"
done
echo "ok: no picture atom of the program is left"
