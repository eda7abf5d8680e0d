#!/usr/bin/env bash
# Builds every tree and runs every test, in two phases:
#   1. side by side, each chain in the background with its output in
#      build/logs/<chain>.log (printed when the chain ends):
#      windows  Windows build (mingw-w64, static) + the Windows tests under
#               Wine that may run beside others (unit tests and end-to-end
#               tests, each in a test slot of its own: a copy of the prepared
#               Wine prefix, its own Wine session, Xvfb display, private ALSA
#               device and temporary folder)
#      native   native build (Release: the benchmarks' tree) + ctest; the
#               AddressSanitizer/UndefinedBehaviorSanitizer build + ctest; the
#               ThreadSanitizer build of the worker-thread and ASIO host thread
#               tests + ctest; the libFuzzer build (clang) of the fuzz targets,
#               each fuzzed for a bounded time (KRV_FUZZ_SECONDS, default 30 s)
#               (this chain runs at a lower priority than the Windows tests)
#   2. alone, one at a time, with nothing beside them: the tests that check
#      timing or take sound at real time (label "realtime": REALTIME
#      end-to-end tests, RUN_SERIAL test binaries) of every tree.
# Exits non-zero on any failure. KRV_JOBS overrides the number of build jobs
# and of parallel tests (default: nproc, which honours taskset).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$KRV_ROOT"
started=$SECONDS

krv_ensure_packages "${KRV_TEST_PACKAGES[@]}"
jobs="$(krv_jobs)"
export KRV_JOBS="$jobs"
logs="$KRV_ROOT/build/logs"
rm -rf "$logs"
mkdir -p "$logs"
failed=0

# Each chain writes its summary lines into $logs/<chain>.summary.
# begin_build MESSAGE: a tree's build starts (its time goes to the summary).
begin_build() {
  krv_log "$1"
  build_started=$SECONDS
}

# run_ctest NAME BUILD-DIR [CTEST-ARGS...]: runs the tree's tests and keeps
# ctest's summary, with the times of the tree's build and of its tests.
run_ctest() {
  local name="$1" dir="$2" log="$2/ctest-$1.log" code built started=$SECONDS j="${ctest_jobs:-$jobs}"
  shift 2
  built="build $((SECONDS - build_started)) s, "
  [ "$build_started" -lt 0 ] && built=""
  krv_log "$name: tests (ctest -j $j $*)"
  ctest --test-dir "$dir" -j "$j" --output-on-failure --no-tests=error "$@" 2>&1 | tee "$log"
  code=${PIPESTATUS[0]}
  echo "$name: $(grep -E 'tests passed|tests failed' "$log" | tail -1) (${built}tests $((SECONDS - started)) s)" >>"$summary"
  build_started=-1
  return "$code"
}

build_failed() {
  echo "$1: BUILD FAILED" >>"$summary"
  return 1
}

# --------------------------------------------------------------- chains ---
chain_windows() {
  local status=0
  begin_build "windows: build (mingw-w64, static)"
  krv_build_windows || { build_failed windows; return 1; }
  export KRV_BUILD="$KRV_ROOT/build/windows"
  source "$KRV_ROOT/scripts/wine-prefix.sh"
  krv_prepare_wine_prefix || { echo "windows: the Wine prefix could not be set up" >>"$summary"; return 1; }
  KRV_WINE_SLOTS="$jobs" run_ctest windows "$KRV_BUILD" -LE realtime || status=1
  krv_end_wine_slots
  return "$status"
}

chain_native() {
  local status=0
  begin_build "native: build (Release)"
  if krv_build "$KRV_ROOT/build/native" -- -DCMAKE_BUILD_TYPE=Release; then
    run_ctest native "$KRV_ROOT/build/native" -LE realtime || status=1
  else
    build_failed native; status=1
  fi

  begin_build "native-asan: build (AddressSanitizer + UndefinedBehaviorSanitizer)"
  if krv_build "$KRV_ROOT/build/native-asan" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRV_SANITIZE=ON -DKRV_BENCH=OFF; then
    with_asan run_ctest native-asan "$KRV_ROOT/build/native-asan" -LE realtime || status=1
  else
    build_failed native-asan; status=1
  fi

  begin_build "native-tsan: build (ThreadSanitizer, worker-thread tests)"
  if krv_build "$KRV_ROOT/build/native-tsan" app_threads_test app_one_second_test app_warm_up_test app_close_test app_asio_road_test test_asio_host_threads synthesis_parallel_test synthesis_parallel_growth_test -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRV_TSAN=ON -DKRV_BENCH=OFF; then
    touch "$logs/tsan.built"
    with_tsan run_ctest native-tsan "$KRV_ROOT/build/native-tsan" -L threads -LE realtime || status=1
  else
    build_failed native-tsan; status=1
  fi

  begin_build "native-fuzz: build (clang, libFuzzer + AddressSanitizer/UndefinedBehaviorSanitizer)"
  if krv_build "$KRV_ROOT/build/native-fuzz" fuzz -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKRV_FUZZ=ON -DKRV_BENCH=OFF \
       -DKRV_FUZZ_SECONDS="${KRV_FUZZ_SECONDS:-30}"; then
    run_ctest native-fuzz "$KRV_ROOT/build/native-fuzz" -L fuzz || status=1
  else
    build_failed native-fuzz; status=1
  fi
  return "$status"
}

with_asan() {
  ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}" \
  UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" "$@"
}
with_tsan() {
  TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}" "$@"
}

# run_chain NAME [NICE]: runs chain_NAME in the background (at the lower
# priority NICE, which the processes it starts take over), its output into
# its log.
declare -A chain_pids=()
run_chain() {
  (
    [ -n "${2:-}" ] && renice -n "$2" -p "$BASHPID" >/dev/null
    summary="$logs/$1.summary"
    build_started=$SECONDS
    "chain_$1"
  ) >"$logs/$1.log" 2>&1 </dev/null &
  chain_pids[$1]=$!
  krv_log "phase 1: $1 (build and tests) started; output: $logs/$1.log"
}

# ---------------------------------------------------------- phase 1 ---
phase1_started=$SECONDS
run_chain windows
run_chain native 10  # its builds and tests leave the processor to the Windows tests first
for chain in windows native; do
  wait "${chain_pids[$chain]}" || failed=1
  krv_log "phase 1: $chain ended after $((SECONDS - phase1_started)) s; its output:"
  cat "$logs/$chain.log"
done
phase1_time=$((SECONDS - phase1_started))

# ---------------------------------------------------------- phase 2 ---
# Nothing else runs now. Trees whose build failed are left out (their
# failure is in the summary already).
phase2_started=$SECONDS
summary="$logs/realtime.summary"
build_started=-1
krv_log "phase 2: the tests that check timing or take sound at real time, alone"
if [ -f "$KRV_ROOT/build/native/CTestTestfile.cmake" ] && ! grep -q "^native: BUILD FAILED" "$logs/native.summary"; then
  ctest_jobs=1 run_ctest native-realtime "$KRV_ROOT/build/native" -L realtime || failed=1
fi
if ! grep -q "^native-asan: BUILD FAILED" "$logs/native.summary"; then
  ctest_jobs=1 with_asan run_ctest native-asan-realtime "$KRV_ROOT/build/native-asan" -L realtime || failed=1
fi
if [ -f "$logs/tsan.built" ]; then
  ctest_jobs=1 with_tsan run_ctest native-tsan-realtime "$KRV_ROOT/build/native-tsan" -L 'threads-realtime' || failed=1
fi
if ! grep -q "^windows: BUILD FAILED\|^windows: the Wine prefix" "$logs/windows.summary"; then
  export KRV_BUILD="$KRV_ROOT/build/windows"
  source "$KRV_ROOT/scripts/wine-prefix.sh"
  ctest_jobs=1 KRV_WINE_SLOTS=1 run_ctest windows-realtime "$KRV_BUILD" -L realtime || failed=1
  krv_end_wine_slots
fi
phase2_time=$((SECONDS - phase2_started))

echo
echo "==================== summary ===================="
cat "$logs/native.summary" "$logs/windows.summary" "$logs/realtime.summary" 2>/dev/null
echo "phase 1 (builds and the tests that run side by side): $phase1_time s; phase 2 (real-time tests, alone): $phase2_time s"
echo "wall time: $((SECONDS - started)) s"
[ "$failed" -eq 0 ] && echo "ALL PASSED" || echo "FAILURES"
exit "$failed"
