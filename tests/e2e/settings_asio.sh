#!/usr/bin/env bash
# The settings window with the test ASIO driver (5 outputs): choosing ASIO
# opens the first driver and lists the pairs of the chosen driver ("0 / 1",
# "2 / 3"); a pair takes effect at once; the next show builds the ASIO
# controls from the open driver and the main window's pair; CANCEL gives
# back the driver that was open when the window was shown; Play then sends
# the start-up sine to the chosen pair only.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup settings-asio

export KRV_TEST_ASIO_OUTPUTS=5 KRV_TEST_ASIO_RATE=48000 KRV_TEST_ASIO_CAPTURE
KRV_TEST_ASIO_CAPTURE="$(_krv_winepath "$KRV_E2E_DIR/asio.wav")"
krv_start_main_window
ctl() { krvctl --wait 5000 "$@"; }
expect_text() { krv_expect_eq "$(ctl text "$1")" "$2" "$3"; }
open_settings() { krv_open_settings; ctl tab PageControl_Global 1 || krv_fail "Output page"; }

open_settings
krv_expect_eq "$(ctl visible ComboBoxEx_AsioDevice)" no "ASIO lists hidden with the wave mapper"
ctl select ComboBoxEx_Device ASIO || krv_fail "pick ASIO"
krv_expect_eq "$(ctl visible ComboBoxEx_AsioDevice)" yes "ASIO lists shown"
krv_expect_eq "$(ctl visible BitBtnExt_AsioControl)" yes "ASIO button shown"
ctl select ComboBoxEx_AsioDevice "KRV Test Driver" || krv_fail "pick the test driver"
expect_text ComboBoxEx_AsioChannel "0 / 1" "first pair selected"
ctl select ComboBoxEx_AsioChannel "2 / 3" || krv_fail "pick 2 / 3"
ctl select ComboBoxEx_AsioChannel "4 / 5" 2>/dev/null; krv_expect_eq "$?" 2 "no pair 4 / 5 with 5 outputs"
krv_screenshot "$KRV_E2E_DIR/asio-page.png" && echo "screenshot: $KRV_E2E_DIR/asio-page.png"
ctl press BitBtnExt_Close || krv_fail "CLOSE"
echo "ok: ASIO with the test driver lists 0 / 1 and 2 / 3"

# The next show: the open driver and the main window's pair.
open_settings
expect_text ComboBoxEx_Device ASIO "device at the next show"
expect_text ComboBoxEx_AsioDevice "KRV Test Driver" "driver at the next show"
expect_text ComboBoxEx_AsioChannel "2 / 3" "pair at the next show"
# A driver that cannot be opened has no pairs; CANCEL gives the test driver back.
ctl select ComboBoxEx_AsioDevice "KRV Broken Not Creatable" || krv_fail "pick the broken driver"
expect_text ComboBoxEx_AsioChannel "" "no pair for a driver that failed to open"
ctl press BitBtnExt_Cancel || krv_fail "CANCEL"
open_settings
expect_text ComboBoxEx_AsioDevice "KRV Test Driver" "driver after CANCEL"
expect_text ComboBoxEx_AsioChannel "2 / 3" "pair after CANCEL"
ctl press BitBtnExt_Close || krv_fail "CLOSE"
echo "ok: the ASIO controls follow the open driver; CANCEL gives it back"

# Play: the sine reaches outputs 2 and 3 only.
ctl press BitBtnExt_Play || krv_fail "Play"
sleep 2
ctl press BitBtnExt_Stop || krv_fail "Stop"
boxes="$(krvctl error-box)" && krv_fail "error box: $boxes"
sleep 0.5
krv_close_main_window
[ -s "$KRV_E2E_DIR/asio.wav" ] || krv_fail "the driver captured nothing"
python3 - "$KRV_E2E_DIR/asio.wav" <<'PY' || krv_fail "the sine is not on outputs 2 and 3 only"
import struct, sys
data = open(sys.argv[1], "rb").read()
channels, bits = struct.unpack_from("<H", data, 22)[0], struct.unpack_from("<H", data, 34)[0]
at = data.index(b"data") + 8
assert channels == 5, "channels %d" % channels
width = bits // 8
frames = (len(data) - at) // (width * channels)
peak = [0] * channels
for f in range(frames):
    for c in range(channels):
        o = at + (f * channels + c) * width
        v = int.from_bytes(data[o:o + width], "little", signed=True)
        peak[c] = max(peak[c], abs(v))
print("frames %d, peaks %s" % (frames, peak))
assert frames > 48000 // 2, "too short"
assert peak[0] == peak[1] == peak[4] == 0, "sound outside the pair"
assert peak[2] > 0 and peak[3] > 0, "no sound on the pair"
PY
echo "ok: Play sends the sine to outputs 2 and 3 only"
