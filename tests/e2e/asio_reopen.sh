#!/usr/bin/env bash
# A driver that asks for a buffer size change while it plays and then fails
# at one step of the host's reopen (the argument: init, createbuffers, start,
# setsamplerate or getsamplerate; only the driver objects made after the
# request fail): the play ends with one "ASIO Driver Failed!" and the Play
# picture goes out. Every step is bounded in time.
set -u
point="${1:?failure point}"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup "asio-reopen-$point"
source "$KRV_ROOT/tests/e2e/asio_common.sh"

# The driver comes up at 44100 Hz: one that keeps it plays the wrong rate.
export KRV_TEST_ASIO_RATE=44100 KRV_TEST_ASIO_BUFFERSIZE_AFTER=100 KRV_TEST_ASIO_BUFFERSIZE_NEW=1024 \
  KRV_TEST_ASIO_FAIL="$point" KRV_TEST_ASIO_FAIL_WHEN=reopen
log="$KRV_E2E_DIR/driver.log"

krv_start_main_window
asio_settings 48000 24 "0 / 1"
ctl press BitBtnExt_Play || krv_fail "Play"
krv_no_error_box "Play"
for _ in $(seq 60); do [ "$(ctl glyph BitBtnExt_Play)" = _SignalInactive ] && break; sleep 0.1; done
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "Play picture after the failed reopen"
grep -q "asioMessage buffer size -> 1" "$log" || krv_fail "no buffer size change was asked for"
krv_error_box "ASIO Driver Failed!"
sleep 0.5
krv_no_error_box "a second message"
# Nothing plays any more.
size=$(stat -c %s "$KRV_E2E_DIR/out-0.cap" 2>/dev/null || echo 0)
sleep 0.3
krv_expect_eq "$(stat -c %s "$KRV_E2E_DIR/out-0.cap" 2>/dev/null || echo 0)" "$size" "capture after the failure"
echo "ok: a reopen that fails at $point ends the play with one message"
asio_close
