# End-to-end test helpers (sourced by the scripts in tests/e2e).
#
#   krv_e2e_setup NAME [DIR]  private, emptied work folder $KRV_E2E_DIR (DIR, by default
#                             build/windows/e2e/NAME), a test slot of its own (a fresh
#                             copy of the prepared Wine prefix, its own Wine session,
#                             display, ALSA device and temporary folder: see
#                             krv_enter_wine_slot in wine-prefix.sh), cleanup on exit.
#                             A failing test prints a failure report (see below);
#                             KRV_E2E_TIMEOUT (seconds, set by CTest from the test's
#                             TIMEOUT) makes the test fail 10 s before CTest would kill it
#   krv_start_exe EXE [ARG..] starts a Windows program in the background;
#                             sets KRV_PID; output goes to $KRV_E2E_DIR/<exe>.log
#   krv_start_program [ARG..] the same for KRV-2400.exe
#   krv_start_main_window     KRV-2400.exe started and its main window up; sets
#                             KRV_PROGRAM to its process
#   krv_start_main_window_captured  the same, with its sound going to $KRV_CAPTURE
#                             ($KRV_E2E_DIR/wave-out.wav)
#   krv_keep_capture NAME     after a play has stopped: fails on an open error box,
#                             then copies $KRV_CAPTURE to $KRV_E2E_DIR/NAME.wav
#   krv_close_main_window     closes that window; the program must exit with 0
#   krv_run_exe EXE [ARG..]   runs a Windows console program in the foreground
#   krvctl ARG..              runs tools/krvctl (see krvctl.cpp for the commands)
#   krv_wait_window CLASS [MS] waits for a visible top-level window (default 30 s)
#   krv_wait_exit PID SECONDS waits for a process; returns its exit code, or
#                             124 after killing it when it outlives SECONDS
#   krv_capture_audio WAV     sound of programs started from now on goes to WAV
#   krv_paced_capture [SPEED] sound of programs started from now on is read at SPEED
#                             (0.8 by default; 1.0 is exactly real time, as a sound
#                             card takes it) x real time through a pipe; each open
#                             of the device becomes $KRV_E2E_DIR/capture-N.wav
#   krv_keep_paced_capture N NAME  the capture of the N-th open, once complete,
#                             as $KRV_E2E_DIR/NAME.wav (NAME.start: the monotonic
#                             clock when its first sample was taken)
#   krv_pipe_device NAME      sound of programs started from now on goes into a pipe
#                             that a reader empties as fast as it comes, into
#                             $KRV_E2E_DIR/NAME.pcm (each open of the device opens it anew)
#   krv_stall_device          that reader stops reading: the device stops taking
#                             samples and does not return from a reset
#   krv_resume_device         the reader reads again
#   krv_analyze WAV [OPT..]   tools/analyze_wav.py (figures and --expect-... checks)
#   krv_edit_signal_set IN OUT EDIT..  a copy OUT of the signal set file IN with
#                             each EDIT, "RECORD:Key=Value" (RECORD 0 to 5), made
#   krv_choose_record_file BASE  in the open recording window: BASE (no extension)
#                             chosen through the save dialog; BASE.wav is then shown
#   krv_file_dialog BUTTON FILE  BUTTON of the front window opens a file dialog: FILE
#                             typed into its name box and confirmed; returns once
#                             the dialog has closed
#   krv_error_box TEXT        the one error box open says TEXT; it is closed
#   krv_no_error_box WHAT     fails the test (naming WHAT and the texts) when an
#                             error box is open; bounded, so a hung program fails too
#   krv_record_seconds NAME N  REC, NAME chosen, N seconds recorded into
#                             $KRV_E2E_DIR/NAME.wav (fails on an error box)
#   krv_open_settings         the main window's Settings pressed, the settings window up
#   krv_choose_property_sheet ITEM  the main window's property sheet setting
#                             ("No Sheet", "Signal Only", "All") through the
#                             settings window and its CLOSE
#   krv_screenshot PNG        PNG of the whole (virtual) screen
#   krv_expect_eq ACTUAL EXPECTED WHAT   fails the test when they differ
#   krv_expect_near ACTUAL EXPECTED TOL WHAT  the same for numbers within TOL
#   krv_figure FILE KEY       one figure from saved krv_analyze output (e.g. ch0_peak_dbfs)
#   krv_fail MESSAGE          fails the test
#
# Failure report: when a test fails (any non-zero exit, or its time-out), it
# prints, before its cleanup ends anything: the open error boxes' texts
# ("Error" boxes of the program and of any process that shows a dialog), and
# for each program it started, how it ended: crashed (Wine's "Unhandled
# exception" / "Unhandled page fault" lines in its log, with the backtrace's
# first lines), exited (with its code), ended by the test after a time-out
# (krv_wait_exit, or the test's own time-out), or still running when the test
# failed (then ended by the cleanup); and the path and last lines of each
# program's Wine log ($KRV_E2E_DIR/<exe>.log, stdout and stderr of the Wine
# process, kept), and a screenshot ($KRV_E2E_DIR/failure.png).
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
KRV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

KRV_STARTED_PIDS=()
# The programs a test starts, and krvctl, keep Wine's error channel: their
# logs and messages show a failed start, a missing display or desktop, a
# lost Wine server (the rest of the bench keeps WINEDEBUG=-all).
KRV_E2E_WINEDEBUG="${KRV_E2E_WINEDEBUG:-fixme-all}"

krv_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

krv_expect_eq() {
  [ "$1" = "$2" ] || krv_fail "$3: got '$1', expected '$2'"
  echo "ok: $3 = '$1'"
}

krv_expect_near() {
  awk -v a="$1" -v e="$2" -v t="$3" 'BEGIN { d = a - e; if (d < 0) d = -d; exit !(a != "" && d <= t) }' ||
    krv_fail "$4: got '$1', expected $2 +- $3"
  echo "ok: $4 = $1 (expected $2 +- $3)"
}

krv_figure() {
  sed -n "s/^$2=//p" "$1"
}

# The programs the test started ("PID LOG" lines) and how each ended as far
# as the test saw it ("PID TEXT" lines), in files, so that the time-out's
# report sees them too.
_krv_note_program() { echo "$1 $2" >>"$KRV_E2E_DIR/.programs"; }
_krv_note_end() { echo "$1 $2" >>"$KRV_E2E_DIR/.program-ends"; }
KRV_E2E_REPORTED=""
KRV_E2E_EXIT_HOOKS=()

# Wine's lines for an unhandled exception (printed whatever WINEDEBUG says).
KRV_CRASH_PATTERN='Unhandled (exception|page fault|illegal instruction|privileged instruction|stack overflow)|wine: Unhandled'

# _krv_e2e_report REASON: the failure report (see the top of this file).
_krv_e2e_report() {
  [ -z "$KRV_E2E_REPORTED" ] || return 0
  KRV_E2E_REPORTED=1
  local pid log end crash boxes target any="" code
  {
    echo "==================== failure report: $1 ===================="
    if [ -n "${DISPLAY:-}" ]; then
      krv_screenshot "$KRV_E2E_DIR/failure.png" 2>/dev/null && echo "screenshot: $KRV_E2E_DIR/failure.png"
    fi
    for target in "" "--target-class #32770"; do
      # shellcheck disable=SC2086
      boxes="$(timeout 15 "$KRV_WINE" "$KRV_BIN/krvctl.exe" $target error-box </dev/null 2>/dev/null 7>&-)" || continue
      [ "$boxes" = "${any:-}" ] && continue  # the program's own box, found both ways
      echo "open error box: $boxes"
      any="$boxes"
    done
    [ -n "$any" ] || echo "open error boxes: none"
    while read -r pid log; do
      end="$(sed -n "s/^$pid //p" "$KRV_E2E_DIR/.program-ends" 2>/dev/null | tail -n 1)"
      crash="$(grep -a -E -m 2 "$KRV_CRASH_PATTERN" "$log" 2>/dev/null)"
      if [ -n "$crash" ]; then
        end="CRASHED (Wine: unhandled exception)${end:+; $end}"
      elif [ -z "$end" ] && kill -0 "$pid" 2>/dev/null; then
        end="still running when the test failed: ended by the test's cleanup"
      elif [ -z "$end" ]; then
        # A program this shell started: its exit code (bash keeps it).
        if [ "$BASHPID" = "$$" ] && wait "$pid" 2>/dev/null; then code=0; else code=$?; fi
        if [ "$code" = 127 ] && ! [ "$BASHPID" = "$$" ]; then
          end="had exited (its exit code is known only to the test's own shell)"
        else
          end="had exited with code $code$(_krv_exit_meaning "$log" "$code")"
        fi
      fi
      echo "program $(basename "$log" .log) (process $pid): $end"
      if [ -n "$crash" ]; then
        printf '  %s\n' "$crash"
        grep -a -A 4 -m 1 '^Backtrace:' "$log" | sed 's/^/  /'
      fi
      echo "  its Wine log (kept): $log; the last lines:"
      grep -a -v -E '^(0x[0-9a-f]+:|Stack dump:| [a-z0-9]{2,3}:)' "$log" 2>/dev/null | tail -n 12 | sed 's/^/  | /'
    done < <(cat "$KRV_E2E_DIR/.programs" 2>/dev/null)
    if [ -s "$KRV_E2E_DIR/krvctl.calls" ]; then
      echo "the last krvctl calls (all in $KRV_E2E_DIR/krvctl.calls):"
      _krv_last_calls "$KRV_E2E_DIR/krvctl.calls" 6 | sed 's/^/  /'
    fi
    _krv_slot_processes
    echo "==================== end of the failure report ===================="
  } >&2
}

# What an exit code of a program says, when it says more than the number.
_krv_exit_meaning() {
  case "$(basename "$1" .log):$2" in
    KRV-2400*:183) echo " (another instance was running: it was brought forward and this one ended)" ;;
  esac
}

# _krv_last_calls FILE N: the last N calls (with their message lines) of a krvctl.calls file.
_krv_last_calls() {
  awk -v n="$2" '/^[0-9]/ { k++ } { line[NR] = $0; call[NR] = k } END { for (i = 1; i <= NR; i++) if (call[i] > k - n) print line[i] }' "$1"
}

# The Wine processes of this test's prefix (its slot's session), and its Wine
# servers: a program or a server left by an earlier test shows here.
_krv_slot_processes() {
  local pid list=""
  for pid in $(ps -e -o pid= 2>/dev/null); do
    { tr '\0' '\n' <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; } 2>/dev/null || continue
    list+="$(ps -o pid=,etimes=,args= -p "$pid" 2>/dev/null |
      awk '$3 ~ /(\.exe|wineserver[0-9]*)$/ { printf "%s (%s s) %s", $1, $2, $3; for (i = 4; i <= NF && i < 6; i++) printf " %s", $i }')"$'\n'
  done
  echo "Wine processes of $WINEPREFIX (process, seconds running, command):"
  printf '%s' "$list" | sed '/^$/d; s/^/  /'
}

_krv_e2e_cleanup() {
  local status=$? pid hook
  [ "$status" -eq 0 ] || _krv_e2e_report "the test failed (exit code $status)"
  [ -n "${KRV_E2E_WATCHDOG:-}" ] && { kill "$KRV_E2E_WATCHDOG"; wait "$KRV_E2E_WATCHDOG"; } 2>/dev/null
  for hook in "${KRV_E2E_EXIT_HOOKS[@]}"; do eval "$hook"; done
  for pid in "${KRV_STARTED_PIDS[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
    fi
  done
  if [ -n "$KRV_XVFB_STARTED" ]; then
    # Wine processes of this test's display end with it.
    timeout 10 "$KRV_WINESERVER" -w 2>/dev/null
    krv_stop_xvfb
  fi
  krv_leave_wine_slot
  return "$status"
}

# The test's own time-out, before CTest's: the report first (the programs
# still run), then the test ends: the command it waits for is ended, and its
# cleanup ends the programs.
_krv_e2e_watchdog() {
  local seconds="$1" script=$$
  (
    sleeper=""
    trap '[ -n "$sleeper" ] && kill "$sleeper" 2>/dev/null; exit 0' TERM
    sleep "$seconds" &
    sleeper=$!
    wait "$sleeper"
    sleeper=""
    echo "FAIL: the test timed out after $seconds s" >&2
    while read -r pid _; do
      kill -0 "$pid" 2>/dev/null && _krv_note_end "$pid" "still running at the test's time-out: ended by the test"
    done < <(cat "$KRV_E2E_DIR/.programs" 2>/dev/null)
    _krv_e2e_report "the test timed out after $seconds s"
    touch "$KRV_E2E_DIR/.timed-out"
    kill -TERM "$script" 2>/dev/null
    local child
    for child in $(ps -o pid= --ppid "$script"); do
      [ "$child" = "$BASHPID" ] && continue
      grep -q "^$child " "$KRV_E2E_DIR/.programs" 2>/dev/null && continue
      kill -TERM "$child" 2>/dev/null
    done
  ) 7>&- </dev/null &
  KRV_E2E_WATCHDOG=$!
}

krv_e2e_setup() {
  export KRV_E2E_DIR="${2:-$KRV_BUILD/e2e/$1}"
  rm -rf "$KRV_E2E_DIR"
  mkdir -p "$KRV_E2E_DIR"
  trap _krv_e2e_cleanup EXIT
  trap '[ -e "$KRV_E2E_DIR/.timed-out" ] && KRV_E2E_REPORTED=1; exit 124' TERM
  rm -f "$KRV_E2E_DIR/.programs" "$KRV_E2E_DIR/.program-ends" "$KRV_E2E_DIR/.timed-out"
  krv_prepare_wine_prefix || krv_fail "the Wine prefix could not be prepared"
  krv_test_wine_session || krv_fail "no Wine session or no display"
  KRV_E2E_SERVER_SOCKET="$(krv_wine_server_socket)"
  local timeout="${KRV_E2E_TIMEOUT:-0}"
  if [ "$timeout" -gt 20 ] 2>/dev/null; then
    _krv_e2e_watchdog $((timeout - 10))
  fi
  echo "work folder: $KRV_E2E_DIR, display $DISPLAY"
}

_krv_exe_path() {
  case "$1" in
    */*) echo "$1" ;;
    *.exe) echo "$KRV_BIN/$1" ;;
    *) echo "$KRV_BIN/$1.exe" ;;
  esac
}

krv_start_exe() {
  local exe
  exe="$(_krv_exe_path "$1")"; shift
  [ -f "$exe" ] || krv_fail "$exe is not built"
  local log="$KRV_E2E_DIR/$(basename "$exe" .exe).log"
  [ -e "$log" ] && log="$KRV_E2E_DIR/$(basename "$exe" .exe).$((${#KRV_STARTED_PIDS[@]} + 1)).log"
  WINEDEBUG="$KRV_E2E_WINEDEBUG" "$KRV_WINE" "$exe" "$@" >"$log" 2>&1 </dev/null 7>&- &
  KRV_PID=$!
  KRV_STARTED_PIDS+=("$KRV_PID")
  _krv_note_program "$KRV_PID" "$log"
}

krv_start_program() {
  krv_start_exe KRV-2400.exe "$@"
}

# The program's single-instance mutex: it lives as long as the process.
KRV_INSTANCE_MUTEX='{0A4829CC-0291-4C1E-96A6-57428B8B8DDF}'

krv_start_main_window() {
  # A program that an earlier test left behind may still be going away (its
  # windows can be gone before the process is); the new one would find its
  # mutex, hand over to it and exit.
  krvctl wait-no-mutex "$KRV_INSTANCE_MUTEX" 10000 >/dev/null ||
    krv_fail "an earlier program still runs 10 s later"
  krv_start_program
  KRV_PROGRAM=$KRV_PID
  krv_wait_window TFormMain 60000 || krv_fail "no TFormMain window within 60 s (krvctl exit code $?)"
}

krv_start_main_window_captured() {
  KRV_CAPTURE="$KRV_E2E_DIR/wave-out.wav"
  krv_capture_audio "$KRV_CAPTURE"
  krv_start_main_window
}

krv_paced_capture() {
  local pipe="$KRV_E2E_DIR/paced.wav"
  mkfifo "$pipe"
  krv_alsa_config "$pipe" "$KRV_E2E_DIR/paced.asound.conf"
  export ALSA_CONFIG_PATH="$KRV_E2E_DIR/paced.asound.conf"
  python3 "$KRV_ROOT/tests/e2e/paced_capture.py" "$pipe" "$KRV_E2E_DIR" "${1:-0.8}" 7>&- &
  KRV_PACED_READER=$!
  KRV_E2E_EXIT_HOOKS+=('kill "$KRV_PACED_READER" 2>/dev/null')
}

krv_pipe_device() {
  local pipe="$KRV_E2E_DIR/wave-out.wav"
  mkfifo "$pipe"
  krv_alsa_config "$pipe" "$KRV_E2E_DIR/pipe.asound.conf"
  export ALSA_CONFIG_PATH="$KRV_E2E_DIR/pipe.asound.conf"
  python3 - "$pipe" "$KRV_E2E_DIR/$1.pcm" <<'PY' 7>&- &
import sys
with open(sys.argv[2], "ab") as out:
    while True:
        with open(sys.argv[1], "rb") as pipe:
            while chunk := pipe.read(65536):
                out.write(chunk)
                out.flush()
PY
  KRV_PIPE_READER=$!
  KRV_E2E_EXIT_HOOKS+=(_krv_end_pipe_reader)
}

_krv_end_pipe_reader() {
  [ -n "${KRV_PIPE_READER:-}" ] || return 0
  { kill -CONT "$KRV_PIPE_READER"; kill "$KRV_PIPE_READER"; wait "$KRV_PIPE_READER"; } 2>/dev/null
  KRV_PIPE_READER=""
}

krv_stall_device() {
  kill -STOP "$KRV_PIPE_READER"
}

krv_resume_device() {
  kill -CONT "$KRV_PIPE_READER"
}

krv_keep_paced_capture() {
  for _ in $(seq 1 100); do
    if [ -f "$KRV_E2E_DIR/capture-$1.wav" ]; then
      mv "$KRV_E2E_DIR/capture-$1.wav" "$KRV_E2E_DIR/$2.wav"
      mv "$KRV_E2E_DIR/capture-$1.start" "$KRV_E2E_DIR/$2.start" 2>/dev/null
      return 0
    fi
    sleep 0.1
  done
  krv_fail "$2: no capture of play $1"
}

krv_keep_capture() {
  krvctl error-box && krv_fail "$1: an error box is open"
  sleep 0.3  # the device is closed; the capture file is complete
  cp "$KRV_CAPTURE" "$KRV_E2E_DIR/$1.wav"
}

krv_close_main_window() {
  krvctl close TFormMain || krv_fail "krvctl close failed (exit code $?)"
  krv_wait_exit "$KRV_PROGRAM" 20
  krv_expect_eq "$?" 0 "exit code of KRV-2400.exe after closing"
}

krv_run_exe() {
  local exe
  exe="$(_krv_exe_path "$1")"; shift
  [ -f "$exe" ] || krv_fail "$exe is not built"
  WINEDEBUG="$KRV_E2E_WINEDEBUG" "$KRV_WINE" "$exe" "$@" </dev/null
}

krvctl() {
  krv_krvctl_bounded 0 "$@"
}

# krv_krvctl_bounded SECONDS ARG..: krvctl ended after SECONDS (0: no bound).
# Its output and messages pass through; each call, with its exit code, its
# time and its messages (krvctl's own and Wine's), is kept in
# $KRV_E2E_DIR/krvctl.calls for the failure report.
krv_krvctl_bounded() {
  local limit="$1" rc started="${EPOCHREALTIME/./}" took line note="" now
  shift
  local run=("$KRV_WINE" "$KRV_BIN/krvctl.exe" "$@")
  [ "$limit" -gt 0 ] 2>/dev/null && run=(timeout "$limit" "${run[@]}")
  if [ -z "${KRV_E2E_DIR:-}" ] || [ ! -d "$KRV_E2E_DIR" ]; then
    WINEDEBUG="$KRV_E2E_WINEDEBUG" "${run[@]}" </dev/null
    return
  fi
  # No helper processes here: a test makes hundreds of these calls.
  local err="$KRV_E2E_DIR/.krvctl.$BASHPID" done="$KRV_E2E_DIR/.krvctl.$BASHPID.done"
  : >"$done"
  KRVCTL_FINISHED="Z:${done//\//\\}" WINEDEBUG="$KRV_E2E_WINEDEBUG" "${run[@]}" </dev/null 2>"$err"
  rc=$?
  now="${EPOCHREALTIME/./}"
  took=$(((now - started) / 1000))
  # A Wine process whose server goes away ends at once with exit code 0 and
  # no word: krvctl marks the end it reaches by itself.
  read -r line 2>/dev/null <"$done"
  if [ "${line:-}" != "finished $rc" ] && [ "$rc" != 124 ]; then
    if [ -n "${KRV_E2E_SERVER_SOCKET:-}" ] && [ ! -S "$KRV_E2E_SERVER_SOCKET" ]; then
      note="krvctl: ended before its command did, with exit code $rc: the Wine server of this test went away"
    else
      note="krvctl: ended before its command did, with exit code $rc (killed, or its Wine server went away)"
    fi
    echo "$note" >>"$err"
    [ "$rc" = 0 ] && rc=125
  fi
  local code="$rc"
  [ "$rc" = 124 ] && [ "${#run[@]}" -gt 2 ] && code="124 (ended at its bound of $limit s)"
  {
    printf '%(%T)T.%03d exit %s after %s ms: krvctl %s\n' "${now:0:-6}" "$(((now / 1000) % 1000))" "$code" "$took" "$*"
    while IFS= read -r line || [ -n "$line" ]; do
      printf '    | %s\n' "$line"
      printf '%s\n' "$line" >&2
    done <"$err"
  } >>"$KRV_E2E_DIR/krvctl.calls"
  return "$rc"
}

krv_wait_window() {
  krvctl wait-class "$1" "${2:-30000}"
}

krv_wait_exit() {
  local pid="$1" seconds="$2" waited=0 code
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$waited" -ge $((seconds * 10)) ]; then
      echo "process $pid still running after $seconds s: killing it" >&2
      _krv_note_end "$pid" "ended by the test: still running $seconds s after it was to exit"
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      return 124
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  wait "$pid"
  code=$?
  _krv_note_end "$pid" "exited with code $code"
  return "$code"
}

krv_file_dialog() {
  # The dialog's file name box is control 1148 (an edit inside a combo box),
  # its confirming button control 1.
  krvctl --wait 5000 click "$1" || krv_fail "$1"
  krvctl --target-class '#32770' --wait 20000 exists '#1148:Edit' || krv_fail "$1: no file dialog"
  krvctl --target-class '#32770' set-text '#1148:Edit' "$(_krv_winepath "$2")" || krv_fail "$1: file name box"
  krvctl --target-class '#32770' click '#1:Button' || krv_fail "$1: confirm"
  for _ in $(seq 100); do
    krvctl --target-class '#32770' --wait 0 exists '#1148:Edit' >/dev/null 2>&1 || break
    sleep 0.1
  done
  sleep 0.5
}
krv_choose_record_file() {
  # The name is typed without extension; the window shows it with ".wav".
  local wav
  wav="$(_krv_winepath "$1.wav")"
  krv_file_dialog BitBtnExt_Record_OpenDialog "$1"
  for _ in $(seq 100); do
    [ "$(krvctl text Edit_Record_FileName)" = "$wav" ] && break
    sleep 0.1
  done
  krv_expect_eq "$(krvctl text Edit_Record_FileName)" "$wav" "file name after the dialog"
}
# krv_wait_error_box SECONDS: waits (SECONDS at most, looking every 50 ms)
# for an "Error" box of the program and prints the text of each one shown;
# exit code 2 when none came.
krv_wait_error_box() {
  local tries
  for ((tries = $1 * 20; tries > 0; tries--)); do
    krvctl error-box 2>/dev/null && return 0
    sleep 0.05
  done
  return 2
}
krv_error_box() {
  local text
  text="$(krv_wait_error_box 5)"
  krv_expect_eq "$text" "$1" "error box"
  krvctl close '#32770' || krv_fail "closing the error box"
  for _ in $(seq 1 50); do krvctl error-box >/dev/null || return 0; sleep 0.1; done
  krv_fail "the error box stays open"
}
krv_no_error_box() {
  local boxes
  boxes="$(timeout 30 "$KRV_WINE" "$KRV_BIN/krvctl.exe" error-box </dev/null)" && krv_fail "$1: error box: $boxes"
  return 0
}

krv_record_seconds() {
  local wav="$KRV_E2E_DIR/$1.wav"
  krvctl --wait 5000 press BitBtnExt_Rec || krv_fail "REC"
  krvctl wait-class TFormRecord 10000 || krv_fail "no recording window"
  krv_choose_record_file "$KRV_E2E_DIR/$1"
  krvctl --wait 5000 focus EditHex_Record_Time || krv_fail "focus the record time"
  krvctl --wait 5000 set-text EditHex_Record_Time "$2" || krv_fail "record time"
  krvctl --wait 5000 press BitBtnExt_Record || krv_fail "RECORD"
  krv_no_error_box "RECORD"
  [ -f "$wav" ] || krv_fail "no recorded file $wav"
}
# krv_settings_file FILE [Key=Value ...]: writes a settings file as the
# program saves one: the start-up settings, each Key=Value given in place of
# its key's value.
krv_settings_file() {
  local file="$1" line key
  shift
  local lines=("[FileAttribute]" "VenderString=KRV-2400" "Version=1.0" "FileType=SystemSetting" ""
    "[PCMFormat]" "SamplingRate=48000" "Quantization=16" "Rounding=NEAR EVEN" "Dither=WHITE" "NoiseShaping=OFF" ""
    "[InternalSetting]" "OutputDevice=WaveMapper" "WavBufferSize=250" "DefaultPeriod=10"
    "WableDeviation=1/3 Octave" "PropertySheet=No Sheet" "FFTuse=No" "")
  for line in "$@"; do
    key="${line%%=*}"
    lines=("${lines[@]/#$key=*/$line}")
  done
  printf '%s\r\n' "${lines[@]}" >"$file"
}
krv_open_settings() {
  krvctl --wait 5000 press BitBtnExt_Settings || krv_fail "Settings (krvctl exit code $?)"
  krvctl wait-class TFormSettings 10000 || krv_fail "no settings window (krvctl exit code $?)"
}
# krv_load_settings FILE CONTROL TEXT: opens the settings window and loads
# the settings file FILE through its LOAD; waits (10 s at most) until the
# control CONTROL shows TEXT; fails on an error box. The window stays open.
krv_load_settings() {
  krv_open_settings
  krv_file_dialog BitBtnExt_Load "$1"
  for _ in $(seq 100); do [ "$(krv_krvctl_bounded 30 --wait 5000 text "$2")" = "$3" ] && break; sleep 0.1; done
  krv_no_error_box "loading $1"
}
# krv_choose_test_driver [PAIR]: in the open settings window, the Output
# page's device set to ASIO through the test driver, on the channel pair PAIR
# ("0 / 1") when given.
krv_choose_test_driver() {
  local ctl=(krv_krvctl_bounded 30 --wait 5000)
  "${ctl[@]}" tab PageControl_Global 1 || krv_fail "Output page"
  "${ctl[@]}" select ComboBoxEx_Device ASIO || krv_fail "pick ASIO"
  "${ctl[@]}" select ComboBoxEx_AsioDevice "KRV Test Driver" || krv_fail "pick the test driver"
  [ $# -eq 0 ] || "${ctl[@]}" select ComboBoxEx_AsioChannel "$1" || krv_fail "pick the pair $1"
}
krv_choose_property_sheet() {
  krv_open_settings
  krvctl --wait 5000 tab PageControl_Global 2 || krv_fail "the settings window's Internal page"
  krvctl --wait 5000 select ComboBoxEx_PropertySheet "$1" || krv_fail "property sheet $1"
  krvctl --wait 5000 press BitBtnExt_Close || krv_fail "the settings window's CLOSE"
}
krv_analyze() {
  python3 "$KRV_ROOT/tools/analyze_wav.py" "$@"
}
krv_edit_signal_set() {
  python3 - "$@" <<'PY'
import sys
source, target, edits = sys.argv[1], sys.argv[2], sys.argv[3:]
text = open(source, "rb").read().decode()
changes = {}
for edit in edits:
    record, assignment = edit.split(":", 1)
    key, value = assignment.split("=", 1)
    changes.setdefault(int(record), {})[key] = value
newline = "\r\n" if "\r\n" in text else "\n"
out, record, made = [], None, set()
for line in text.split(newline):
    if line.startswith("[SignalAttribute"):
        record = int(line[len("[SignalAttribute"):-1])
    key = line.split("=", 1)[0]
    if "=" in line and key in changes.get(record, {}):
        line = key + "=" + changes[record][key]
        made.add((record, key))
    out.append(line)
missing = [(r, k) for r in changes for k in changes[r] if (r, k) not in made]
if missing:
    sys.exit("krv_edit_signal_set: no such keys in %s: %s" % (source, missing))
open(target, "wb").write(newline.join(out).encode())
PY
}
