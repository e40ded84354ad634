#!/usr/bin/env bash
# The main window's transfer commands (offscreen) against the simulated web servers of
# tests/lab/http_fleet.json, with short limits: connection 2 s, fewer than 1000 bytes/s for 3 s,
# an upload's answer awaited 5 s. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
# A build without the windows (PYXET_GUI=OFF) has no window test to run.
if [ ! -e "$BIN/gui_transfers_tests" ] && grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt" 2>/dev/null; then
  echo "no windows in this build: nothing to test"
  exit 0
fi
# The screenshots are taken too, into a folder of this run, and must all be there.
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
export PYXET_BIN=$BIN QT_QPA_PLATFORM=offscreen PYXET_HTTP_LIMITS=2,1000,3,5 PYXET_SHOTS=$shots
"$HERE/../../scripts/lab.sh" --fleet "$HERE/http_fleet.json" -- "$BIN/gui_transfers_tests"
for name in upgrade login progress; do
  for lang in en cs; do
    [ -s "$shots/transfers-$name-$lang.png" ] || { echo "FAIL: no screenshot transfers-$name-$lang.png"; exit 1; }
  done
done
