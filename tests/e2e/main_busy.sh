#!/usr/bin/env bash
# main_busy.sh: the wave-out road on a busy machine. The program (every
# thread of its Wine process) and two busy loops share the same two cores
# (KRV_BUSY_CORES, by default the last two the test may use); the device is
# read at exactly real time from another core (KRV_READER_CORE). The prefix's
# Wine server is the system's part, not the program's: it serves every
# process of the session (the driving krvctl too) and stays where the system
# runs it, as a system's own work is not bound to a program's cores.
# KRV_BUSY_SERVER=1 puts it on the busy cores as well, a harsher machine
# than the one asked for (a starved server delays every wait and wake-up of
# the sound path, whatever the program does).
# 384000 Hz, 32 bits, DITHER with white dither and 2nd-order shaping, 50 ms
# segments and the heavy signal set of main_realtime.sh.
#  1. 20 s of play while the left output bar moves every 20 ms, as a drag
#     moves it: no run of 2 ms or more of digital silence (a second that was
#     not ready at its boundary, a segment written late) and no error box.
#     A virtual machine's host may take the busy cores away for a while
#     (steal time), and then no thread on them rides it out: a probe on
#     those cores (sched_probe.py) watches for such stalls, and a silence
#     that comes right after one is named as the machine's and not counted
#     (machine_stalls.py).
#  2. Stops pressed while the bar moves: each answered (the Play button shows
#     stopped) within 0.5 s, no error box.
# While it plays, the nice value, real-time priority and scheduling policy of
# the program's threads are shown (what the Wine server made of the
# priorities the threads asked for).
# A harsher machine for measurements by hand: KRV_BUSY_LOOPS busy loops (2),
# a move every KRV_BUSY_MOVE_MS ms (20), KRV_BUSY_STOPS Stops (10).
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
rate=384000
seconds=20
stops="${KRV_BUSY_STOPS:-10}"
loops="${KRV_BUSY_LOOPS:-2}"
move_ms="${KRV_BUSY_MOVE_MS:-20}"

# Two cores for the program and the busy loops, a third for the reader: on
# fewer the test does not apply (skipped, exit 77).
mapfile -t allowed < <(python3 -c 'import os; print(*sorted(os.sched_getaffinity(0)), sep="\n")')
if [ "${#allowed[@]}" -lt 3 ]; then
  echo "SKIP: the test needs 3 cores, it may use ${#allowed[@]}"
  exit 77
fi
krv_e2e_setup main-busy
busy_cores="${KRV_BUSY_CORES:-${allowed[-2]},${allowed[-1]}}"
reader_core="${KRV_READER_CORE:-${allowed[-3]}}"
echo "program and busy loops on cores $busy_cores, the reader on core $reader_core"

krv_paced_capture 1.0
taskset -a -p -c "$reader_core" "$KRV_PACED_READER" >/dev/null || krv_fail "pinning the reader"

busy_pids=()
server_masks=()
end_busy() {
  local pid entry
  for pid in "${busy_pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  busy_pids=()
  # The prefix's Wine server serves the later tests: its cores are given back.
  for entry in "${server_masks[@]}"; do taskset -a -p "${entry#*:}" "${entry%%:*}" >/dev/null 2>&1; done
  server_masks=()
}
KRV_MOVER=""
KRV_PROBE=""
KRV_E2E_EXIT_HOOKS+=('end_busy' '[ -n "$KRV_MOVER" ] && kill "$KRV_MOVER" 2>/dev/null'
  '[ -n "$KRV_PROBE" ] && kill "$KRV_PROBE" 2>/dev/null')

# The program's process, every thread of it (those it starts later too);
# with KRV_BUSY_SERVER=1 the prefix's Wine server too.
krv_start_main_window
taskset -a -p -c "$busy_cores" "$KRV_PROGRAM" >/dev/null || krv_fail "pinning the program"
for pid in $( [ "${KRV_BUSY_SERVER:-0}" = 1 ] && { pgrep -x wineserver; pgrep -x wineserver64; }); do
  if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
    server_masks+=("$pid:$(taskset -p "$pid" | sed 's/.*: //')")
    taskset -a -p -c "$busy_cores" "$pid" >/dev/null || krv_fail "pinning the Wine server"
  fi
done
[ "${#server_masks[@]}" -gt 0 ] || [ "${KRV_BUSY_SERVER:-0}" != 1 ] || krv_fail "no Wine server of the prefix $WINEPREFIX"
ctl() { krvctl --wait 5000 "$@"; }

source "$KRV_ROOT/tests/e2e/heavy_set.sh"
load_heavy_set "$rate"

# thread_priorities: how many of the program's threads run at each nice
# value, real-time priority and scheduling policy (0 is SCHED_OTHER).
thread_priorities() {
  python3 - "$KRV_PROGRAM" <<'EOF'
import collections, os, sys
pid = sys.argv[1]
counts = collections.Counter()
for tid in os.listdir(f"/proc/{pid}/task"):
    try:
        stat = open(f"/proc/{pid}/task/{tid}/stat").read()
    except OSError:
        continue
    fields = stat[stat.rindex(")") + 2:].split()  # from field 3 (state) on
    counts[(int(fields[16]), int(fields[37]), int(fields[38]))] += 1  # nice, rt_priority, policy
print(", ".join(f"{n} at nice {nice} rtprio {rt} policy {policy}" for (nice, rt, policy), n in sorted(counts.items())))
EOF
}

# The machine is busy from here on.
for _ in $(seq "$loops"); do
  taskset -c "$busy_cores" bash -c 'while :; do :; done' &
  busy_pids+=("$!")
done

failures=()
# start_moves NAME: the left bar moved between 0 and -20 dB every 20 ms (at
# most: as fast as the busy program takes the moves; KRV_BUSY_MOVE_MS) by a krvctl in the
# background, KRV_MOVER; end_moves ends it.
start_moves() {
  "$KRV_WINE" "$KRV_BIN/krvctl.exe" --wait 5000 trackbar-cycle TrackBar_L 100000 "$move_ms" 20 0 \
    >"$KRV_E2E_DIR/$1.txt" 2>&1 </dev/null &
  KRV_MOVER=$!
}
end_moves() {
  kill "$KRV_MOVER" 2>/dev/null
  wait "$KRV_MOVER" 2>/dev/null
  return 0
}
drag() {
  start_moves "$2"
  sleep "$1"
  end_moves
}
no_box() {
  local boxes
  if boxes="$(krvctl error-box)"; then
    failures+=("$1: error box: $boxes")
    krvctl dismiss-error-box >/dev/null
  fi
  return 0
}

# How fast the busy program takes the bar's moves (while it does not play).
echo "bar moves while stopped: $(ctl trackbar-cycle TrackBar_L 50 20 20 0)"

# 1. A drag of the level bar over 20 s of play, the machine's stalls watched.
python3 "$KRV_ROOT/tests/e2e/sched_probe.py" "$KRV_E2E_DIR/probe.txt" "$busy_cores" &
KRV_PROBE=$!
ctl press BitBtnExt_Play || krv_fail "Play"
krv_expect_eq "$(ctl glyph BitBtnExt_Play)" _SignalActive "playing"
echo "the program's threads while it plays: $(thread_priorities)"
drag "$seconds" drag-moves
no_box "the drag"
stop_ms="$(ctl press-timed BitBtnExt_Stop)" || krv_fail "Stop"
echo "Stop after the drag: $stop_ms ms"
[ "$(ctl glyph BitBtnExt_Play)" = _SignalInactive ] || { failures+=("still playing after the drag's Stop"); ctl press BitBtnExt_Stop; }
no_box "the Stop after the drag"
krv_keep_paced_capture 1 drag
kill "$KRV_PROBE" 2>/dev/null
wait "$KRV_PROBE" 2>/dev/null
KRV_PROBE=""
krv_analyze "$KRV_E2E_DIR/drag.wav" --quick --silence-runs-ms 2 >"$KRV_E2E_DIR/drag.txt"
echo "drag: $(tr '\n' ' ' <"$KRV_E2E_DIR/drag.txt")"
gaps="$(krv_figure "$KRV_E2E_DIR/drag.txt" silence_runs)"
echo "silence runs of 2 ms or more while the bar moved: $gaps"
[ "$(krv_figure "$KRV_E2E_DIR/drag.txt" frames)" -ge $(((seconds - 1) * rate)) ] ||
  failures+=("the capture holds less than $((seconds - 1)) s")
starts="$(krv_figure "$KRV_E2E_DIR/drag.txt" silence_run_starts_s)"
if ! python3 "$KRV_ROOT/tests/e2e/machine_stalls.py" "$KRV_E2E_DIR/probe.txt" "$KRV_E2E_DIR/drag.start" \
  "$([ "$gaps" = 0 ] || echo "$starts")" || [ "$gaps" -gt 10 ]; then
  failures+=("$gaps runs of 2 ms or more of silence (starting at $starts s)")
fi

# 2. Stops pressed while the bar moves.
times=()
for n in $(seq "$stops"); do
  ctl press BitBtnExt_Play || krv_fail "Play $n"
  start_moves "stop-moves-$n"
  sleep "$(python3 -c "print(0.6 + 0.13 * $n)")"
  ms="$(ctl press-timed BitBtnExt_Stop)" || { failures+=("Stop $n: not handled"); ms=99999; }
  end_moves
  echo "Stop $n: $ms ms"
  times+=("$ms")
  [ "$ms" -le 500 ] || failures+=("Stop $n took $ms ms")
  no_box "Stop $n"
  [ "$(ctl glyph BitBtnExt_Play)" = _SignalInactive ] || { failures+=("Stop $n: still playing"); ctl press BitBtnExt_Stop; }
  no_box "Stop $n, pressed again"
done
echo "Stop times during the bar's moves (ms): ${times[*]}"
end_busy

krv_close_main_window
if [ "${#failures[@]}" -gt 0 ]; then
  printf 'FAIL: %s\n' "${failures[@]}" >&2
  exit 1
fi
echo PASS
