#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix (created
# on first use). Used by CTest as the emulator of the Windows build: the
# prefix's Wine session (and, with no DISPLAY, its virtual display) is
# started detached from the test's output when none runs, so that CTest
# waits for the program only.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
krv_prepare_wine_prefix || exit 1
krv_ensure_wine_session || { echo "error: no Wine session could be started" >&2; exit 1; }
exec "$KRV_WINE" "$@"
