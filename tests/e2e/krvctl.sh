#!/usr/bin/env bash
# krvctl finds controls by their "KRV.Name" and drives them (fixture window);
# the bench starts Wine processes with a fixed address space layout.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/e2e-lib.sh"
krv_e2e_setup krvctl

krv_start_exe krvctl_fixture.exe
fixture=$KRV_PID
krv_wait_window KRVCtlFixture 60000 || krv_fail "fixture window did not appear"
ctl() { krvctl --target-class KRVCtlFixture --wait 2000 "$@"; }

ctl exists Button_Press; krv_expect_eq "$?" 0 "exists Button_Press"
ctl exists Button_Missing; krv_expect_eq "$?" 2 "exists Button_Missing"
ctl text Button_Missing >/dev/null 2>&1; krv_expect_eq "$?" 2 "text of a missing control"
krvctl --target-class NoSuchClass exists Button_Press; krv_expect_eq "$?" 2 "exists in a missing target"
krvctl no-such-command >/dev/null 2>&1; krv_expect_eq "$?" 1 "unknown command"
krvctl wait-class NoSuchClass 200 2>/dev/null; krv_expect_eq "$?" 2 "wait-class times out"

krv_expect_eq "$(ctl text Edit_Value)" "Grüße, ☃ 1 kHz" "text is printed in UTF-8"
ctl set-text Edit_Value "-20 dB µ" || krv_fail "set-text failed"
krv_expect_eq "$(ctl text Edit_Value)" "-20 dB µ" "text after set-text"

ctl click Button_Press || krv_fail "click failed"
ctl click Button_Press || krv_fail "click failed"
for i in $(seq 1 50); do [ "$(ctl text Label_Count)" = "clicks: 2" ] && break; sleep 0.1; done
krv_expect_eq "$(ctl text Label_Count)" "clicks: 2" "two clicks counted"

# press returns once the click has been handled.
ctl press Button_Press || krv_fail "press failed"
krv_expect_eq "$(ctl text Label_Count)" "clicks: 3" "press is handled on return"
ctl press Edit_Value 2>/dev/null; krv_expect_eq "$?" 1 "press on a control that is no button"
ctl error-box; krv_expect_eq "$?" 2 "no error box"
krv_expect_eq "$(ctl visible Button_Press)" yes "visible"
krv_expect_eq "$(krvctl window-state KRVCtlFixture)" normal "window state"

ctl focus Edit_Value || krv_fail "focus failed"
krv_expect_eq "$(ctl text Label_Focus)" "focus Edit_Value" "focus reached the edit"

ctl key Edit_Value RETURN || krv_fail "key failed"
for i in $(seq 1 50); do [ "$(ctl text Label_Key)" = "key 13" ] && break; sleep 0.1; done
krv_expect_eq "$(ctl text Label_Key)" "key 13" "key reached the edit"
ctl key Edit_Value nonsense 2>/dev/null; krv_expect_eq "$?" 1 "bad key name"

ctl list | grep -q "^Button_Press	Button	Press$" || krv_fail "list does not show Button_Press"

krvctl close KRVCtlFixture || krv_fail "close failed"
krv_wait_exit "$fixture" 20
krv_expect_eq "$?" 0 "fixture exit code"

# Every Wine process of the bench starts with a fixed address space layout:
# without Wine's preloader, a random heap start above the loader (0x7d000000)
# now and then covers the shared user data's address (0x7ffe0000), and the
# process ends at its start without a word. A krvctl that waits shows it.
krv_start_exe krvctl.exe wait-class NoSuchClass 30000
waiter=$KRV_PID
# The process is a shell, then setarch, until it has become Wine's loader.
for _ in $(seq 100); do
  [ "$(readlink "/proc/$waiter/exe")" = "$(readlink -f "$(command -v "$KRV_WINE64")")" ] &&
    grep -q '\[heap\]' "/proc/$waiter/maps" 2>/dev/null && break
  sleep 0.05
done
personality="$(cat "/proc/$waiter/personality" 2>/dev/null)"
heap="$(grep -m 1 '\[heap\]' "/proc/$waiter/maps" 2>/dev/null | cut -d- -f1)"
kill "$waiter"; wait "$waiter" 2>/dev/null
echo "a Wine process: personality $personality, heap from 0x$heap"
(( (16#${personality:-0} & 16#40000) != 0 )) || krv_fail "a Wine process runs with a random address space layout"
(( 16#${heap:-ffffffff} < 16#7e000000 )) || krv_fail "a Wine process's heap starts at 0x$heap, not right after the loader"
krvctl close KRVCtlFixture 2>/dev/null; krv_expect_eq "$?" 2 "close when no window is left"
