#!/usr/bin/env bash
# The real program starts under Wine, shows its main window, and exits with
# code 0 when that window is closed.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup smoke

krv_capture_audio "$KRV_E2E_DIR/wave-out.wav"
krv_start_program
program=$KRV_PID

krv_wait_window TFormMain 60000 || krv_fail "no TFormMain window within 60 s"
echo "ok: main window is up"
krv_screenshot "$KRV_E2E_DIR/main-window.png" && echo "screenshot: $KRV_E2E_DIR/main-window.png"

krvctl close TFormMain || krv_fail "krvctl close failed"
krv_wait_exit "$program" 20
krv_expect_eq "$?" 0 "exit code of KRV-2400.exe after WM_CLOSE"
