#!/usr/bin/env bash
# Renders 60 s of stereo 192000 Hz / 24-bit WAV with the program's own road
# (the main window's writer over the create-wave thread, bench_wav_render)
# and with sox, side by side in turns, for a sine, a square, a logarithmic
# sweep and pink noise with dither, and prints the median and the minimum
# wall time of each and their ratio. Not part of the test command.
#   KRV_RUNS   runs of each (default 5)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$KRV_ROOT"

krv_ensure_packages cmake ninja-build g++ libbenchmark-dev sox
runs="${KRV_RUNS:-5}"
build="$KRV_ROOT/build/native"
# The native tree as the test command configures it.
krv_build "$build" bench_wav_render -- -DCMAKE_BUILD_TYPE=Release
bench="$build/bench/app/bench_wav_render"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Wall time of one render by the program's road, in ms (the benchmark's
# real time per file).
ours() {
  "$bench" --benchmark_filter="set:$1/" --benchmark_format=csv 2>/dev/null |
    awk -F, '/^"BM_/ { print $3 }'
}

# Wall time of one sox render, in ms.
theirs() {
  local start end
  start="$(date +%s%N)"
  sox -D -n -r 192000 -b 24 -c 2 "$work/sox.wav" synth 60 "$@"
  end="$(date +%s%N)"
  echo $(( (end - start) / 1000000 ))
}

stats() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.0f %.0f", m, v[1] }'; }

printf 'load before: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-20s %14s %14s %14s %14s %8s %8s\n' signal "ours median" "ours min" "sox median" "sox min" "median" "min"
compare() {
  local name="$1" set="$2"; shift 2
  local a=() b=()
  for ((r = 0; r < runs; ++r)); do
    a+=("$(ours "$set")")
    b+=("$(theirs "$@")")
  done
  read -r am an <<<"$(printf '%s\n' "${a[@]}" | stats)"
  read -r bm bn <<<"$(printf '%s\n' "${b[@]}" | stats)"
  printf '%-20s %11s ms %11s ms %11s ms %11s ms %7.2fx %7.2fx\n' "$name" "$am" "$an" "$bm" "$bn" \
    "$(awk -v a="$am" -v b="$bm" 'BEGIN { print a / b }')" "$(awk -v a="$an" -v b="$bn" 'BEGIN { print a / b }')"
}
compare sine 1 sine 1000
compare square 2 square 1000
compare "log sweep" 3 sine 20:20000
compare "pink noise, dither" 4 pinknoise dither
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
