#!/usr/bin/env bash
# The window's batches with several devices at once (offscreen) against the simulated devices of
# tests/lab/jobs_fleet.json, with the limits of test_gui_transfers.sh. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
# A build without the windows (PYXET_GUI=OFF) has no window test to run.
if [ ! -e "$BIN/gui_jobs_tests" ] && grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt" 2>/dev/null; then
  echo "no windows in this build: nothing to test"
  exit 0
fi
export PYXET_BIN=$BIN QT_QPA_PLATFORM=offscreen PYXET_HTTP_LIMITS=2,1000,3,5
"$HERE/../../scripts/lab.sh" --fleet "$HERE/jobs_fleet.json" -- "$BIN/gui_jobs_tests"
