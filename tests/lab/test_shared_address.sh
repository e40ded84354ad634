#!/usr/bin/env bash
# Units that share an address, against tests/lab/shared_fleet.json: four new units at the factory
# address 192.168.1.80 and one alone beside them (10.77.8.1). The window (offscreen,
# gui_shared_tests) and pyxet-cli --all --jobs 4 (shared_checks.sh) start no upgrade, backup or
# restore for the four: nothing reaches the shared address (the simulator's events), each of them
# is reported with the reason and its MAC, and the one alone is served as ever. $1: the bin folder.
set -uo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$HERE/checks.sh"
english_cli "$work"
export PYXET_BIN=$BIN QT_QPA_PLATFORM=offscreen PYXET_HTTP_LIMITS=2,1000,3,5 LC_ALL=C.UTF-8
# A build without the windows (PYXET_GUI=OFF) has only pyxet-cli to test.
window=$BIN/gui_shared_tests
if [ ! -e "$window" ]; then
  grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt" 2>/dev/null || { echo "FAIL: no $window"; exit 1; }
  window=
fi
"$HERE/../../scripts/lab.sh" --fleet "$HERE/shared_fleet.json" -- bash "$HERE/shared_checks.sh" "$work" "$window"
