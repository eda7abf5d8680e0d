#!/usr/bin/env bash
# Builds the Windows program and starts it under Wine (private prefix in
# build/windows/wineprefix).
#   With a display: the program runs until its window is closed; sound goes to
#   the machine's own ALSA setup (KRV_SOUND=capture writes it to
#   build/windows/run/wave-out.wav instead).
#   Without one: a virtual display (Xvfb) is started, a screenshot of the
#   window is saved to build/windows/run/screenshot.png, the program is
#   closed and the display stopped. KRV_RUN_SECONDS (default 3) is how long
#   the window is shown before the screenshot.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$KRV_ROOT"

krv_ensure_packages "${KRV_RUN_PACKAGES[@]}"
krv_log "building the Windows program"
krv_build_windows KRV-2400 krvctl || krv_die "build failed"

export KRV_BUILD="$KRV_ROOT/build/windows"
headless=0
[ -z "${DISPLAY:-}" ] && headless=1
[ "$headless" -eq 0 ] && [ "${KRV_SOUND:-system}" = system ] && export KRV_SOUND=system
source "$KRV_ROOT/scripts/e2e-lib.sh"

if [ "$headless" -eq 0 ]; then
  krv_prepare_wine_prefix || krv_die "the Wine prefix could not be prepared"
  [ "${KRV_SOUND:-}" = capture ] && krv_capture_audio "$KRV_BUILD/run/wave-out.wav"
  krv_log "starting $KRV_BIN/KRV-2400.exe on $DISPLAY"
  exec "$KRV_WINE" "$KRV_BIN/KRV-2400.exe"
fi

krv_e2e_setup run "$KRV_BUILD/run" >/dev/null  # starts the Wine session on Xvfb (and says so)
krv_capture_audio "$KRV_E2E_DIR/wave-out.wav"
krv_start_program
program=$KRV_PID
krv_wait_window TFormMain 60000 || krv_die "the main window did not appear (see $KRV_E2E_DIR/KRV-2400.log)"
sleep "${KRV_RUN_SECONDS:-3}"
shot="$KRV_E2E_DIR/screenshot.png"
krv_screenshot "$shot" || krv_die "no screenshot"
krv_log "screenshot of the window: $shot"
krvctl close TFormMain >/dev/null
krv_wait_exit "$program" 20
code=$?
krv_log "KRV-2400.exe exited with code $code; stopping the virtual display"
krv_stop_wine_session  # the display ends with it
exit "$code"
