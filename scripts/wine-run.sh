#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix (created
# on first use). Used by CTest as the emulator of the Windows build.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
krv_prepare_wine_prefix || exit 1
exec "$KRV_WINE" "$@"
