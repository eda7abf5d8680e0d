#!/usr/bin/env bash
# Starts the gallery under Wine, saves a screenshot of the screen when it is
# drawn, then lets it close.
#   screenshot.sh GALLERY_EXE OUTPUT_PNG
# It runs in a test slot of its own (its own virtual display), or without
# test slots (KRV_WINE_SLOTS=0) in the shared session's display.
set -u
exe="$1"
out="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
run="$here/../../scripts/wine-run.sh"
source "$here/../../scripts/wine-prefix.sh"
krv_prepare_wine_prefix && krv_test_wine_session || { echo "no Wine session or no display"; exit 1; }
trap krv_leave_wine_slot EXIT
work="$(dirname "$out")"
ready="$work/gallery.ready"
rm -f "$ready"
cd "$work" || exit 1
"$run" "$exe" --ready-file gallery.ready &
pid=$!
for _ in $(seq 1 600); do
  [ -e "$ready" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "gallery ended before it was drawn"; exit 1; }
  sleep 0.1
done
[ -e "$ready" ] || { echo "gallery did not come up"; kill "$pid"; exit 1; }
sleep 1
import -window root "$out"
status=$?
rm -f "$ready"   # the gallery closes when its file goes
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
[ $status -eq 0 ] && [ -s "$out" ] && echo "saved $out"
exit $status
