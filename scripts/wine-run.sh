#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix.
# Used by CTest as the emulator of the Windows build.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec "$KRV_WINE" "$@"
