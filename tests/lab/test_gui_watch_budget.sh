#!/usr/bin/env bash
# The window's watch (offscreen) against the simulated devices of
# tests/lab/gui_watch_budget_fleet.json: the request budget while Find Devices and Find at
# Addresses are pressed in a hurry, and the rounds resting while an upgrade restarts a unit.
# $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
# A build without the windows (PYXET_GUI=OFF) has no window test to run.
if [ ! -e "$BIN/gui_watch_budget_tests" ] && grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt" 2>/dev/null; then
  echo "no windows in this build: nothing to test"
  exit 0
fi
export PYXET_BIN=$BIN QT_QPA_PLATFORM=offscreen
"$HERE/../../scripts/lab.sh" --fleet "$HERE/gui_watch_budget_fleet.json" -- "$BIN/gui_watch_budget_tests"
