#!/usr/bin/env bash
# The simulator's test program: offline pieces, then the byte vectors against the test fleet and
# the shipped fleet on the lab network (the plan fleet's tests: test_sim_plan.sh). $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN
"$HERE/../../scripts/lab.sh" --fleet "$HERE/sim_fleet.json" -- "$BIN/pyxet_sim_tests" --gtest_filter='-LabPlan.*:LabRollout.*:LabSchedule.*'
"$HERE/../../scripts/lab.sh" -- "$BIN/pyxet_sim_tests" --gtest_filter='LabFleet.*'
