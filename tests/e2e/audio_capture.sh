#!/usr/bin/env bash
# Sound played through the wave mapper reaches the captured WAV file
# unchanged: rate, channels, frequency, level, and no gaps.
#   audio_capture.sh [BITS]   16 (default) or 24 (sent in a 32-bit container)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
bits="${1:-16}"
krv_e2e_setup "audio-capture-$bits"

wav="$KRV_E2E_DIR/tone.wav"
krv_capture_audio "$wav"
krv_run_exe waveout_tone.exe --seconds 1 --freq 1000 --dbfs -6 --rate 48000 --bits "$bits" \
  >"$KRV_E2E_DIR/waveout_tone.log" 2>&1
code=$?
cat "$KRV_E2E_DIR/waveout_tone.log"
krv_expect_eq "$code" 0 "exit code of waveout_tone"
grep -q "^wave-out devices: 1" "$KRV_E2E_DIR/waveout_tone.log" || krv_fail "Wine should see exactly one wave-out device"
[ -s "$wav" ] || krv_fail "nothing was captured in $wav"

# -6 dBFS sine: peak -6.0 dBFS, RMS -9.03 dBFS; one second; no silent runs
# longer than the zero crossings of the sine itself.
krv_analyze "$wav" --expect-rate 48000 --expect-channels 2 --expect-freq 1000 --freq-tol 0.5 \
  --expect-peak -6.0 --expect-rms -9.03 --level-tol 0.05 --min-seconds 0.99 --max-gap-ms 0.1 \
  --sine-continuity || krv_fail "the captured tone is not the one played"
