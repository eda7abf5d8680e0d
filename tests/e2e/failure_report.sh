#!/usr/bin/env bash
# The failure report of the end-to-end library: five deliberately failing
# test scripts (written here, run with the library in this test's slot) about
# the krvctl fixture, each of whose reports must tell how the fixture ended:
#   crash     the fixture crashes: "CRASHED", with Wine's unhandled exception
#             line, and its log is kept with it
#   wait      it does not exit when told to: ended by the test after the wait
#   handover  a second start of the program hands over to the first: its exit
#             code 183 and what it means; the failed krvctl call with its
#             exit code and message; the slot's Wine processes
#   timeout   the test hangs with an error box open: its own time-out
#             (KRV_E2E_TIMEOUT) ends it before CTest would, after a report
#             with the box's text and the fixture still running, ended by the
#             test
#   server    the Wine server goes away during a krvctl call: the call fails,
#             saying so (last, as it ends this test's session)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup failure-report
lib="$KRV_ROOT/scripts/e2e-lib.sh"

# failing NAME TIMEOUT BODY: runs a test script with BODY after its setup;
# its output goes to $KRV_E2E_DIR/NAME.out, its exit code to $code, its wall
# time to $took.
failing() {
  local name="$1" script="$KRV_E2E_DIR/$1.sh" started=$SECONDS
  printf '%s\n' "set -u" "source '$lib'" "krv_e2e_setup $name '$KRV_E2E_DIR/$name'" "$3" >"$script"
  KRV_E2E_TIMEOUT="$2" bash "$script" >"$KRV_E2E_DIR/$name.out" 2>&1
  code=$?
  took=$((SECONDS - started))
  echo "--- $name: exit code $code after $took s; its output:"
  sed 's/^/    /' "$KRV_E2E_DIR/$name.out"
}
expect_line() {  # expect_line NAME PATTERN WHAT: a line of NAME's output matches PATTERN
  grep -q -E -- "$2" "$KRV_E2E_DIR/$1.out" || krv_fail "$1: the report does not say $3 (/$2/)"
  echo "ok: $1: the report says $3"
}

failing crash 0 '
krv_start_exe krvctl_fixture.exe --crash
fixture=$KRV_PID
krv_wait_exit "$fixture" 60
krv_fail "the fixture ended with code $?"'
[ "$code" -ne 0 ] || krv_fail "crash: the failing test passed"
expect_line crash "^==+ failure report: the test failed \(exit code 1\)" "why the test failed"
expect_line crash "^program krvctl_fixture \(process [0-9]+\): CRASHED \(Wine: unhandled exception\); exited with code" \
  "that the fixture crashed"
expect_line crash "^  .*Unhandled (exception|page fault)" "Wine's line about the exception"
expect_line crash "its Wine log \(kept\): .*/crash/krvctl_fixture.log" "where the fixture's log is"
grep -q -E "Unhandled (exception|page fault)" "$KRV_E2E_DIR/crash/krvctl_fixture.log" ||
  krv_fail "crash: the kept log does not hold Wine's report"
expect_line crash "^open error boxes: none" "that no error box is open"

failing wait 0 '
krv_start_exe krvctl_fixture.exe
fixture=$KRV_PID
krv_wait_window KRVCtlFixture 60000 || krv_fail "no fixture window"
krv_wait_exit "$fixture" 1
krv_fail "the fixture did not exit"'
[ "$code" -ne 0 ] || krv_fail "wait: the failing test passed"
expect_line wait "^program krvctl_fixture \(process [0-9]+\): ended by the test: still running 1 s after it was to exit" \
  "that the test ended the fixture after its wait"
grep -q "CRASHED" "$KRV_E2E_DIR/wait.out" && krv_fail "wait: the report says the fixture crashed"

failing handover 0 '
krv_start_main_window
krv_start_program
for _ in $(seq 300); do kill -0 "$KRV_PID" 2>/dev/null || break; sleep 0.1; done
krvctl --wait 0 click Button_NoSuchControl || krv_fail "the click failed"'
[ "$code" -ne 0 ] || krv_fail "handover: the failing test passed"
expect_line handover "^program KRV-2400 \(process [0-9]+\): still running when the test failed" "that the first program still ran"
expect_line handover "^program KRV-2400[.0-9]* \(process [0-9]+\): had exited with code 183 \(another instance was running" \
  "how the second start ended"
expect_line handover "^the last krvctl calls" "the last krvctl calls"
expect_line handover "^  [0-9:.]+ exit 2 after [0-9]+ ms: krvctl --wait 0 click Button_NoSuchControl$" \
  "the failed call with its exit code"
expect_line handover "^      \| krvctl: no control named \"Button_NoSuchControl\"" "krvctl's own message"
expect_line handover "^Wine processes of .*/prefix" "the slot's Wine processes"
expect_line handover "^  [0-9]+ \([0-9]+ s\) .*KRV-2400.exe" "the running program among them"

failing timeout 45 '
krv_start_exe krvctl_fixture.exe --error-box "Disk full: nothing was written"
krv_wait_window KRVCtlFixture 60000 || krv_fail "no fixture window"
for _ in $(seq 100); do krvctl --target-class KRVCtlFixture error-box >/dev/null && break; sleep 0.1; done
krvctl --target-class KRVCtlFixture error-box >/dev/null || krv_fail "no error box"
echo "the error box is up"
sleep 600
echo "the hung step returned"'
krv_expect_eq "$code" 124 "exit code of the test that timed out"
[ "$took" -lt 90 ] || krv_fail "timeout: the test lasted $took s, its time-out is 35 s"
expect_line timeout "^the error box is up" "(in its own output) that the box was up"
expect_line timeout "^FAIL: the test timed out after 35 s" "that it timed out"
expect_line timeout "^==+ failure report: the test timed out after 35 s" "why the test failed"
expect_line timeout "^open error box: Disk full: nothing was written$" "the box's text"
expect_line timeout "^program krvctl_fixture \(process [0-9]+\): still running at the test's time-out: ended by the test" \
  "that the fixture still ran and was ended by the test"
grep -q "the hung step returned" "$KRV_E2E_DIR/timeout.out" && krv_fail "timeout: the hung step was not ended"
[ "$(grep -c "failure report:" "$KRV_E2E_DIR/timeout.out")" -eq 1 ] || krv_fail "timeout: more than one report"
krvctl --target-class KRVCtlFixture --wait 0 exists Button_Press >/dev/null 2>&1 &&
  krv_fail "timeout: the fixture still runs after its test"
echo "ok: the fixture ended with its test"

# Last, as it ends this test's Wine session too: the server goes away while
# krvctl waits. Wine then ends krvctl with exit code 0 and no word; the call
# fails, saying so.
failing server 0 '
krvctl wait-class NoSuchClass 60000 &
waiter=$!
sleep 2
"$KRV_WINESERVER" -k
wait "$waiter"
echo "krvctl exit code $?"'
expect_line server "^krvctl exit code 125$" "(in its own output) that the call failed"
expect_line server "^krvctl: ended before its command did, with exit code 0" "that krvctl did not finish its command"
