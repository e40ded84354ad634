#!/usr/bin/env bash
# The simulator's devices for firmware rollouts (tests/lab/sim_rollout_fleet.json): devices away for
# their first 20 s, a flash that fails, an image refused, an upgrade that changes the
# configuration, bodies whole and cut short. $1: the bin folder.
set -uo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN
source "$HERE/checks.sh"

# What a client sees of a unit that is away: no connection ("Couldn't connect", curl's status 7),
# never one that is accepted and then reset; then the device's own tests.
"$HERE/../../scripts/lab.sh" --fleet "$HERE/sim_rollout_fleet.json" -- bash -c '
  curl -s -o /dev/null --max-time 10 http://10.77.5.1/
  rc=$?
  [ $rc -eq 7 ] || { echo "FAIL: curl to a device that is away: status $rc" >&2; exit 1; }
  exec "$0" --gtest_filter="LabRollout.*"' "$BIN/pyxet_sim_tests"
check "LabRollout tests" 0 $?
finish_checks
