#!/usr/bin/env bash
# A close that always ends: the main window is closed while it plays through
# a driver whose stop() never returns (the test driver's
# KRV_TEST_ASIO_HANG=stop), so the close's own call into the driver stays
# stuck on the user-interface thread. The program still ends within 3 s of
# the close, with exit code 0, and leaves no mutex behind.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup main-close-stuck
source "$KRV_ROOT/tests/e2e/asio_common.sh"

export KRV_TEST_ASIO_RATE=48000 KRV_TEST_ASIO_TYPE=18 KRV_TEST_ASIO_HANG=stop
log="$KRV_E2E_DIR/driver.log"

krv_start_main_window
asio_settings 48000 16 "0 / 1"
ctl press BitBtnExt_Play || krv_fail "Play"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "Play picture while playing"
sleep 1
krv_no_error_box "while playing"

# Timed from the moment the close is posted (krvctl returns right after).
launched=$(date +%s%N)
timeout 30 "$KRV_WINE" "$KRV_BIN/krvctl.exe" close TFormMain </dev/null || krv_fail "krvctl close failed"
posted=$(date +%s%N)
krv_wait_exit "$KRV_PROGRAM" 10
code=$?
ended=$(date +%s%N)
took=$(((ended - posted) / 1000000))
echo "closing took $took ms from the close ($(((ended - launched) / 1000000)) ms from krvctl's start; exit code $code)"
grep -q "stop (does not return)" "$log" || krv_fail "the close never reached the driver's stop"
krv_expect_eq "$code" 0 "exit code of KRV-2400.exe closed while the driver's stop hangs"
[ "$took" -le 3000 ] || krv_fail "closing took $took ms, more than 3 s"
krvctl wait-no-mutex "$KRV_INSTANCE_MUTEX" 2000 >/dev/null || krv_fail "the single-instance mutex outlived the program"
echo "ok: the close ends the program within 3 s while the driver's stop hangs"
