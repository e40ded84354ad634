#!/usr/bin/env bash
# The largest generated fleet of a family, 30,000 devices, starts in less than 30 s (it took
# minutes while each device address was added to the interface; 4 s is usual now), says so on
# standard error, and every device answers its family's broadcast from its own address.
# $1: the bin folder.
set -uo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export PYXET_BIN=$BIN
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

start=$SECONDS
"$ROOT/scripts/lab.sh" --orvex 30000 --hwg 0 -- \
  "$BIN/pyxet_sim_tests" --gtest_filter='LabFleet.*' --gtest_brief=1 2>"$work/err"
check "lab status" 0 $?
echo "30000 devices: $((SECONDS - start)) s, lab and broadcast check together"
cat "$work/err"
contains "progress while starting" "lab.sh: starting 30000 simulated devices..." "$work/err"
contains "progress when ready" "lab.sh: 30000 devices ready after" "$work/err"
ready=$(sed -n 's/^lab.sh: 30000 devices ready after \([0-9]*\) s$/\1/p' "$work/err")
check "ready in less than 30 s" yes "$([ -n "$ready" ] && [ "$ready" -lt 30 ] && echo yes || echo "no (${ready:-?} s)")"
finish_checks
