#!/bin/sh
# Runs Wine's 64-bit loader ($KRV_WINE64) without address space
# randomisation; scripts/wine-env.sh makes this $KRV_WINE.
#
# This system's Wine runs without Wine's preloader, which would reserve the
# addresses Wine needs before anything else takes them. The loader is a fixed
# executable at 0x7d000000, and the kernel starts its heap at a random address
# up to 1 GB above it. Now and then the heap covers 0x7ffe0000, where Wine
# must map the shared user data: the process then ends at its start with exit
# code 1 ("failed to map the shared user data: c0000018", an error line that
# WINEDEBUG=-all keeps silent), whatever program it was to run: a krvctl call
# that fails with no word, or a program that is gone without a window. With
# no randomisation the heap starts right after the loader, far below it.
exec setarch "$(uname -m)" -R "${KRV_WINE64:-wine64}" "$@"
