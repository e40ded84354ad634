#!/usr/bin/env bash
# The window's rollouts (offscreen, gui_rollout_tests) against the simulated units of
# tests/lab/rollout_fleet.json: a first unit whose upload fails halts the batch before any other
# unit gets a body, the halt's line in the progress window; units already at the revision typed
# in are skipped with their lines. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
# A build without the windows (PYXET_GUI=OFF) has no window test to run.
if [ ! -e "$BIN/gui_rollout_tests" ] && grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt" 2>/dev/null; then
  echo "no windows in this build: nothing to test"
  exit 0
fi
export PYXET_BIN=$BIN QT_QPA_PLATFORM=offscreen PYXET_HTTP_LIMITS=2,1000,3,5
"$HERE/../../scripts/lab.sh" --fleet "$HERE/rollout_fleet.json" -- "$BIN/gui_rollout_tests"
