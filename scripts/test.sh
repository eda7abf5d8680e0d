#!/usr/bin/env bash
# Builds both trees and runs every test:
#   1. native build (Release: the benchmarks' tree) + ctest
#   2. native AddressSanitizer/UndefinedBehaviorSanitizer build + ctest
#   3. native ThreadSanitizer build of the worker-thread and ASIO host thread
#      tests + ctest
#   4. native libFuzzer build (clang) of the fuzz targets, each fuzzed for a
#      bounded time (KRV_FUZZ_SECONDS, default 30 s)
#   5. Windows build (mingw-w64, static) + ctest under Wine: unit tests and
#      end-to-end tests, with a private Wine prefix, a private ALSA device
#      that writes to a WAV file, and Xvfb when there is no display.
# Exits non-zero on any failure. KRV_JOBS overrides the number of build jobs.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$KRV_ROOT"
started=$SECONDS

krv_ensure_packages "${KRV_TEST_PACKAGES[@]}"
jobs="$(krv_jobs)"

declare -a summary=()
failed=0
build_started=$SECONDS

# begin_build MESSAGE: a tree's build starts (its time goes to the summary).
begin_build() {
  krv_log "$1"
  build_started=$SECONDS
}

# run_ctest NAME BUILD-DIR: runs the tree's tests and keeps ctest's summary,
# with the times of the tree's build and of its tests.
run_ctest() {
  local name="$1" dir="$2" log="$2/ctest.log" code built=$((SECONDS - build_started)) started=$SECONDS
  shift 2
  krv_log "$name: tests (ctest -j $jobs)"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --no-tests=error "$@" 2>&1 | tee "$log"
  code=${PIPESTATUS[0]}
  summary+=("$name: $(grep -E 'tests passed|tests failed' "$log" | tail -1) (build $built s, tests $((SECONDS - started)) s)")
  [ "$code" -eq 0 ] || failed=1
}

build_failed() {
  summary+=("$1: BUILD FAILED")
  failed=1
}

begin_build "native: build (Release)"
if krv_build "$KRV_ROOT/build/native" -- -DCMAKE_BUILD_TYPE=Release; then
  run_ctest native "$KRV_ROOT/build/native"
else
  build_failed native
fi

begin_build "native-asan: build (AddressSanitizer + UndefinedBehaviorSanitizer)"
if krv_build "$KRV_ROOT/build/native-asan" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRV_SANITIZE=ON -DKRV_BENCH=OFF; then
  ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}" \
  UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
    run_ctest native-asan "$KRV_ROOT/build/native-asan"
else
  build_failed native-asan
fi

begin_build "native-tsan: build (ThreadSanitizer, worker-thread tests)"
if krv_build "$KRV_ROOT/build/native-tsan" app_threads_test app_asio_road_test test_asio_host_threads synthesis_parallel_test synthesis_parallel_growth_test -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRV_TSAN=ON -DKRV_BENCH=OFF; then
  TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}" \
    run_ctest native-tsan "$KRV_ROOT/build/native-tsan" -L threads
else
  build_failed native-tsan
fi

begin_build "native-fuzz: build (clang, libFuzzer + AddressSanitizer/UndefinedBehaviorSanitizer)"
if krv_build "$KRV_ROOT/build/native-fuzz" fuzz -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
     -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKRV_FUZZ=ON -DKRV_BENCH=OFF \
     -DKRV_FUZZ_SECONDS="${KRV_FUZZ_SECONDS:-30}"; then
  run_ctest native-fuzz "$KRV_ROOT/build/native-fuzz" -L fuzz
else
  build_failed native-fuzz
fi

begin_build "windows: build (mingw-w64, static)"
if krv_build_windows; then
  export KRV_BUILD="$KRV_ROOT/build/windows"
  source "$KRV_ROOT/scripts/wine-prefix.sh"
  source "$KRV_ROOT/scripts/xvfb.sh"
  finish_wine() {
    # End this run's Wine session, then the display it used.
    krv_stop_wine_session
    krv_stop_xvfb
  }
  trap finish_wine EXIT
  if krv_prepare_wine_prefix && krv_ensure_display && krv_start_wine_session; then
    run_ctest windows "$KRV_ROOT/build/windows"
  else
    summary+=("windows: Wine prefix or display could not be set up")
    failed=1
  fi
else
  build_failed windows
fi

echo
echo "==================== summary ===================="
printf '%s\n' "${summary[@]}"
echo "wall time: $((SECONDS - started)) s"
[ "$failed" -eq 0 ] && echo "ALL PASSED" || echo "FAILURES"
exit "$failed"
