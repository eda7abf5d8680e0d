#!/usr/bin/env bash
# Every output sample type of the driver interface: the test driver has 18
# outputs, one for each type (the MSB types first, in the order of their
# numbers). A 997 Hz sine at full scale and 24 bits is recorded at unity gain
# for reference, then played on each channel pair in turn: on the pair, every
# frame is the recorded code scaled by 1/(2^23 - 1) and stored by the type's
# own rule (saturated at its own limits), from the first frame of the play to
# Stop, with no frame lost or repeated; the 16 other outputs hold silence.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup asio-types
source "$KRV_ROOT/tests/e2e/asio_common.sh"

types="0,1,2,3,4,8,9,10,11,16,17,18,19,20,24,25,26,27"
export KRV_TEST_ASIO_OUTPUTS=18 KRV_TEST_ASIO_TYPE="$types" KRV_TEST_ASIO_RATE=48000

krv_start_main_window
asio_settings 48000 24 "0 / 1"
asio_sine_997
krv_record_seconds reference 2
for k in 0 1 2 3 4 5 6 7 8; do
  left=$((2 * k)) right=$((2 * k + 1))
  [ "$k" -gt 0 ] && asio_pair "$left / $right"
  asio_play "pair-$k" 3
  asio_check "pair-$k" "$KRV_E2E_DIR/reference.wav" 24 "$types" "$left" "$right"
done
asio_close
