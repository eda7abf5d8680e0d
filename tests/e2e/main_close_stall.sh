#!/usr/bin/env bash
# Closing the main window while the wave-out device stalls, through the real
# program: the sound goes to a pipe whose reader stops, so the device takes no
# more samples and does not return from a reset (see main_device_faults.sh).
# At each moment into the stall (before and after the play notices it by
# itself) the close ends the program within 3 s, with no message box holding
# the close. About 2 s of every close is Wine's own on this bench.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-close-stall

ctl() { krvctl --wait 2000 "$@"; }
krv_pipe_device played
for moment in 0.1 0.5 1 2.5 4; do
  krv_resume_device
  krv_start_main_window
  ctl press BitBtnExt_Play || krv_fail "$moment s: Play"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "$moment s: playing into the pipe"
  sleep 0.5
  krv_stall_device
  sleep "$moment"
  started=$(date +%s%N)
  krvctl close TFormMain || krv_fail "$moment s: krvctl close failed"
  for _ in $(seq 1 30); do
    kill -0 "$KRV_PROGRAM" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$KRV_PROGRAM" 2>/dev/null; then
    boxes="$(ctl error-box)"
    krv_fail "$moment s into the stall: the program still runs 3 s after the close (boxes: ${boxes:-none})"
  fi
  took=$((($(date +%s%N) - started) / 1000000))
  wait "$KRV_PROGRAM"
  krv_expect_eq "$?" 0 "$moment s: exit code of KRV-2400.exe"
  echo "close $moment s into the stall: the program ended $took ms after the close"
done
