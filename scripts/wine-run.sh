#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix (created
# on first use). Used by CTest as the emulator of the Windows build: the
# program runs in a test slot of its own (a copy of the prefix, its own Wine
# session and virtual display, see krv_enter_wine_slot), which ends with it;
# inside a slot (started by a test script) it uses that slot. With
# KRV_WINE_SLOTS=0 it uses the prefix's shared session instead, started
# detached from the test's output when none runs (and, with no DISPLAY, on
# its own virtual display), so that CTest waits for the program only.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
krv_prepare_wine_prefix || exit 1
if ! krv_wine_slots_enabled; then
  krv_ensure_wine_session || { echo "error: no Wine session could be started" >&2; exit 1; }
  exec "$KRV_WINE" "$@"
fi
krv_enter_wine_slot || { echo "error: no test slot could be set up" >&2; exit 1; }
trap krv_leave_wine_slot EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
"$KRV_WINE" "$@" 7>&-
