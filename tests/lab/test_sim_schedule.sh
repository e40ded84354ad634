#!/usr/bin/env bash
# The simulator's devices that change at set times (tests/lab/sim_schedule_fleet.json): gone for a
# span, a new address, a new revision, and the events that count the requests. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN
# The new addresses are made local by the lab along with the devices' own.
"$HERE/../../scripts/lab.sh" --fleet "$HERE/sim_schedule_fleet.json" -- \
  "$BIN/pyxet_sim_tests" --gtest_filter='LabSchedule.*'
