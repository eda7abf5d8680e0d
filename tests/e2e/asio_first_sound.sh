#!/usr/bin/env bash
# asio_first_sound.sh [RUNS] [BUSY] [CHANGE]: how long the driver road takes from the
# Play press to its first sound, measured from outside. A measurement, not a
# test (no bound is checked): run it by hand, e.g.
#   KRV_ROOT=$PWD KRV_BUILD=$PWD/build/windows KRV_BIN=$PWD/build/windows/bin \
#     bash tests/e2e/asio_first_sound.sh 12 4
# 384000 Hz, 32 bits, DITHER with white dither and 2nd-order shaping, the
# transforms on, the heavy signal set (heavy_set.sh), the test driver on the
# pair 0 / 1. RUNS plays (10): each pressed with krvctl press-at, which
# prints the wall-clock time of the click; the driver's log gives the time of
# the first half that holds a sample other than zero ("first sound"), and of
# each driver call in between (open, buffers, rate, start), and the halves
# that were all silence after it until Stop (seconds not ready in time).
# Each play lasts 2.5 s, then Stop. BUSY (0): with N > 0, every thread of the program is
# pinned to one core (KRV_BUSY_CORE, by default the last the script may
# use) and N busy loops run on that core from the first Play on.
# CHANGE (0): with S > 0, before each Play the signal editor loads the other
# of two sets that differ in the amplitudes of the square, triangle and saw
# (every tone of the set to be made again, as at the first Play after a
# set is loaded or edited), closes, and the Play comes S seconds later.
# Prints one line per play and the median, minimum and maximum.
set -u
runs="${1:-10}"
busy="${2:-0}"
change="${3:-0}"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup asio-first-sound
source "$KRV_ROOT/tests/e2e/asio_common.sh"
unset KRV_TEST_ASIO_CAPTURE  # the log says when the first sound came
log="$KRV_E2E_DIR/driver.log"
ctl() { krvctl --wait 5000 "$@"; }

mapfile -t allowed < <(python3 -c 'import os; print(*sorted(os.sched_getaffinity(0)), sep="\n")')
core="${KRV_BUSY_CORE:-${allowed[-1]}}"
busy_pids=()
end_busy() {
  local pid
  for pid in "${busy_pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  busy_pids=()
}
KRV_E2E_EXIT_HOOKS+=('end_busy')

krv_start_main_window
if [ "$busy" -gt 0 ]; then
  taskset -a -p -c "$core" "$KRV_PROGRAM" >/dev/null || krv_fail "pinning the program"
  echo "the program and $busy busy loops on core $core"
fi
source "$KRV_ROOT/tests/e2e/heavy_set.sh"
load_heavy_set 384000
krv_open_settings
krv_choose_test_driver "0 / 1"
ctl press BitBtnExt_Close || krv_fail "CLOSE"
krv_no_error_box "settings"
krv_expect_eq "$(ctl text Label_Fs_Value)" 384000 "sampling rate shown"
sets=("$KRV_E2E_DIR/heavy.sig" "$KRV_E2E_DIR/heavy-other.sig")
if [ "$change" != 0 ]; then
  krv_edit_signal_set "${sets[0]}" "${sets[1]}" "1:Amplitude=-1" "2:Amplitude=-1" "3:Amplitude=-1" ||
    krv_fail "no other signal set"
fi
# Loads set N % 2 in the signal editor.
load_set() {
  ctl press BitBtnExt_Signals || krv_fail "Signals"
  krv_wait_window TFormSignals 10000 || krv_fail "no signal editor"
  krv_file_dialog BitBtnExt_Load "${sets[$(($1 % 2))]}"
  krv_no_error_box "loading ${sets[$(($1 % 2))]}"
  ctl press BitBtnExt_Close || krv_fail "the signal editor's CLOSE"
  krv_no_error_box "the signal editor's CLOSE"
}

for _ in $(seq "$busy"); do
  taskset -c "$core" bash -c 'while :; do :; done' &
  busy_pids+=("$!")
done

times=()
for n in $(seq "$runs"); do
  if [ "$change" != 0 ]; then
    load_set "$n"
    sleep "$change"
  fi
  lines=$(wc -l <"$log")
  pressed="$(ctl press-at BitBtnExt_Play)" || krv_fail "Play $n ($(ctl error-box))"
  sleep 2.5
  krv_no_error_box "play $n"
  stopped="$(ctl press-at BitBtnExt_Stop)" || krv_fail "Stop $n"
  sleep 0.5
  krv_no_error_box "stop $n"
  # The calls of this play: the wall-clock times against the click.
  line="$(tail -n +"$((lines + 1))" "$log" | python3 -c '
import re, sys
click, handler = sys.argv[1].split()
click = float(click)
stop = (float(sys.argv[2].split()[0]) - click) * 1000
marks, first, silent = [], None, 0
for text in sys.stdin:
    m = re.match(r"(.*) @(\d+\.\d+)$", text.rstrip("\r\n"))
    if not m:
        continue
    what, t = m.group(1), (float(m.group(2)) - click) * 1000
    for key in ("canSampleRate", "create", "createBuffers", "setSampleRate", "start"):
        if what.startswith(key + " ") or what == key:
            if not any(k == key for k, _ in marks):
                marks.append((key, t))
    if what.startswith("first sound"):
        first = t
    if t >= stop:
        break
    if first is not None and what.startswith("half") and what.endswith(" silent"):
        silent += 1
steps = " ".join(f"{k}={v:.0f}" for k, v in marks)
print(f"{first:.0f}" if first is not None else "none", f"handler={handler}", steps,
      f"silent halves after the first sound={silent}")
' "$pressed" "$stopped")"
  echo "play $n: first sound after ${line%% *} ms (${line#* })"
  times+=("${line%% *}")
done
end_busy
python3 -c '
import statistics, sys
t = [float(x) for x in sys.argv[1:] if x != "none"]
print(f"first sound (ms): median {statistics.median(t):.0f}, min {min(t):.0f}, max {max(t):.0f}, "
      f"{len(t)} of {len(sys.argv) - 1} plays with sound")
' "${times[@]}"
asio_close
