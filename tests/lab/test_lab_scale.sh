#!/usr/bin/env bash
# A thousand devices per family start quickly and every one answers its family's broadcast.
# $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
export PYXET_BIN=$BIN
exec "$(dirname "$0")/../../scripts/lab.sh" --orvex 1000 --hwg 1000 -- \
  "$BIN/pyxet_sim_tests" --gtest_filter='LabFleet.*' --gtest_brief=1
