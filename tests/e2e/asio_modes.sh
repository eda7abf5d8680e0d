#!/usr/bin/env bash
# Playing through the test ASIO driver in the ways sound-card drivers behave,
# one way per run (the argument):
#   stop-then-play   stop() sends a message to a window the driver created at
#                    init and waits for the answer: Stop then Play at once
#                    finishes and plays.
#   stop-then-close  the same driver, whose stop takes 500 ms: Stop then
#                    closing the main window at once ends the program.
#   measured-rate    getSampleRate reports a measured 48000.02 Hz and answers
#                    "not present" for 30 ms after each rate change: Play
#                    plays the recorded stream exactly.
#   plain-fixed      only the plain bufferSwitch (the host asks the sample
#                    position), minimum = maximum = 256 frames, preferred 512.
#   preferred-outside  a preferred size (2048) above the maximum (1024).
#   frames-65530     halves of 65530 frames at 32000 Hz (longer than a second).
#   size-change      a resync request after 50 halves and a buffer size
#                    change (512 to 1024 frames) after 100: the play restarts
#                    with the new size and goes on, and ends with no hang.
#   size-odd         a buffer size change to 1000 frames after 200 halves,
#                    which the driver (powers of two) does not offer: the
#                    host asks for 1024 and the play goes on.
#   settle-150       getSampleRate answers "not present" for 150 ms after each
#                    rate change: Play plays.
#   settle-900       the same for 900 ms: Play's handler returns before the
#                    driver has started (the window answers meanwhile), and
#                    the play begins once the driver reports the rate.
#   no-clock         the driver refuses the rate (ASE_NoClock): Play reports
#                    it at once, without reading the driver's rate again.
# Where the play is checked, the capture on the pair 0 / 1 equals the recorded
# stream converted by the driver's sample type, with no frame lost or
# repeated. Every step is bounded in time: a program that stops answering
# fails the test instead of hanging it.
set -u
mode="${1:?mode}"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup "asio-$mode"
source "$KRV_ROOT/tests/e2e/asio_common.sh"

rate=48000 type=18 seconds=3 min_seconds=2 check_options=()
export KRV_TEST_ASIO_RATE=48000
case "$mode" in
  stop-then-play) export KRV_TEST_ASIO_STOP=message ;;
  stop-then-close) export KRV_TEST_ASIO_STOP=message KRV_TEST_ASIO_STOP_MS=500 ;;
  measured-rate) export KRV_TEST_ASIO_RATE_ERROR=0.02 KRV_TEST_ASIO_RATE_SETTLE_MS=30 ;;
  plain-fixed)
    type=27
    export KRV_TEST_ASIO_CALLBACK=plain KRV_TEST_ASIO_BUFFER_MIN=256 KRV_TEST_ASIO_BUFFER_MAX=256 \
      KRV_TEST_ASIO_BUFFER=512 ;;
  preferred-outside)
    type=19
    export KRV_TEST_ASIO_BUFFER_MIN=64 KRV_TEST_ASIO_BUFFER_MAX=1024 KRV_TEST_ASIO_BUFFER=2048 ;;
  frames-65530)
    rate=32000 seconds=7 min_seconds=4
    export KRV_TEST_ASIO_RATE=32000 KRV_TEST_ASIO_BUFFER_MIN=65530 KRV_TEST_ASIO_BUFFER_MAX=65530 \
      KRV_TEST_ASIO_BUFFER=65530 ;;
  size-change)
    seconds=4 check_options=(--any-offset)
    export KRV_TEST_ASIO_RESYNC_AFTER=50 KRV_TEST_ASIO_BUFFERSIZE_AFTER=100 KRV_TEST_ASIO_BUFFERSIZE_NEW=1024 ;;
  size-odd)
    seconds=4 check_options=(--any-offset)
    export KRV_TEST_ASIO_BUFFERSIZE_AFTER=200 KRV_TEST_ASIO_BUFFERSIZE_NEW=1000 ;;
  settle-150) export KRV_TEST_ASIO_RATE_SETTLE_MS=150 ;;
  settle-900) export KRV_TEST_ASIO_RATE_SETTLE_MS=900 ;;
  no-clock) export KRV_TEST_ASIO_RATE=44100 KRV_TEST_ASIO_REFUSE_RATE=48000 ;;
  *) krv_fail "unknown mode $mode" ;;
esac
export KRV_TEST_ASIO_TYPE=$type
log="$KRV_E2E_DIR/driver.log"

krv_start_main_window
asio_settings "$rate" 24 "0 / 1"
asio_sine_997

if [ "$mode" = stop-then-play ] || [ "$mode" = stop-then-close ]; then
  ctl press BitBtnExt_Play || krv_fail "Play"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "Play picture while playing"
  sleep 1
  if [ "$mode" = stop-then-play ]; then
    # Stop followed at once by Play, three times (each Play's handler runs
    # right after the Stop's has returned).
    ctl press-cycle 3 BitBtnExt_Stop BitBtnExt_Play ||
      krv_fail "Stop then Play at once (the program does not answer)"
    sleep 1.5
    krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "playing after Stop and Play"
    krv_no_error_box "Stop and Play"
    before=$(stat -c %s "$KRV_E2E_DIR/out-0.cap")
    sleep 0.5
    [ "$(stat -c %s "$KRV_E2E_DIR/out-0.cap")" -gt "$before" ] || krv_fail "the driver stopped after Stop and Play"
    grep -q "stop (message answered)" "$log" || krv_fail "no stop went through the driver's window"
    echo "ok: Stop then Play at once keeps playing"
    ctl press BitBtnExt_Stop || krv_fail "Stop (the program does not answer)"
    krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "Play picture after Stop"
    asio_close
  else
    # Stop followed at once by closing the main window: the close arrives
    # while the driver still finishes its stop (it takes 500 ms here).
    ctl press BitBtnExt_Stop || krv_fail "Stop (the program does not answer)"
    asio_close
    echo "ok: Stop then closing the main window ends the program"
  fi
  exit 0
fi

if [ "$mode" = no-clock ]; then
  ctl click BitBtnExt_Play || krv_fail "Play"  # its handler shows the message
  krv_error_box "Error - ASIO Device not support this Sampling Rate."
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "Play picture after the refusal"
  # Reported at once: after the refusal the rate is read only where the
  # host's reset creates the buffers, never polled.
  reads=$(sed -n '/^canSampleRate 48000/,$p' "$log" | grep -c "^getSampleRate")
  [ "$reads" -le 1 ] || krv_fail "the driver's rate was read $reads times after it refused the rate"
  grep -q "^start" "$log" && krv_fail "the driver was started"
  echo "ok: a refused rate is reported at once"
  asio_close
  exit 0
fi

if [ "$mode" = settle-150 ] || [ "$mode" = settle-900 ]; then
  ctl press BitBtnExt_Play || krv_fail "Play"
  if [ "$mode" = settle-900 ]; then
    # The handler has returned while the driver still settles: it has not
    # started yet, and the window answers.
    grep -q "^start" "$log" && krv_fail "Play waited for the rate inside its handler"
    krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "Play picture while the rate settles"
  fi
  for _ in $(seq 40); do grep -q "^start" "$log" && break; sleep 0.1; done
  grep -q "^start" "$log" || krv_fail "the driver never started"
  grep -q "not present (settling)" "$log" || krv_fail "the program never read the rate while it settled"
  sleep 1
  krv_no_error_box "after the rate settled"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "Play picture while playing"
  size=$(stat -c %s "$KRV_E2E_DIR/out-0.cap")
  sleep 0.3
  [ "$(stat -c %s "$KRV_E2E_DIR/out-0.cap")" -gt "$size" ] || krv_fail "the driver does not play"
  ctl press BitBtnExt_Stop || krv_fail "Stop"
  krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalInactive "Play picture after Stop"
  echo "ok: a rate that takes $KRV_TEST_ASIO_RATE_SETTLE_MS ms to settle plays"
  asio_close
  exit 0
fi

krv_record_seconds reference 2
asio_play play "$seconds"
asio_check play "$KRV_E2E_DIR/reference.wav" 24 "$type" 0 1 --outputs 2 --min-seconds "$min_seconds" \
  "${check_options[@]}"
case "$mode" in
  measured-rate)
    grep -q "not present (settling)" "$log" || echo "note: the program never read the rate while it settled" ;;
  size-odd)
    grep -q "asioMessage buffer size -> 1" "$log" || krv_fail "the buffer size change was not taken"
    grep -q "createBuffers 2 1024" "$log" || krv_fail "no buffers of the nearest size offered"
    grep -q "createBuffers refuses" "$log" && krv_fail "the host asked for a size the driver does not offer" ;;
  plain-fixed)
    grep -q "createBuffers 2 256" "$log" || krv_fail "the buffers are not 256 frames" ;;
  size-change)
    grep -q "asioMessage resync" "$log" || krv_fail "no resync request was sent"
    grep -q "asioMessage buffer size -> 1" "$log" || krv_fail "the buffer size change was not taken"
    grep -q "createBuffers 2 1024" "$log" || krv_fail "no buffers of the new size" ;;
esac
# A second play after all this starts and stops as the first did.
asio_play play-again 1.5
asio_close
