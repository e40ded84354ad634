#!/usr/bin/env bash
# The simulator with tests/lab/plan_fleet.json: forty devices sharing one factory address, devices
# that move to the address they are given, devices that refuse or ignore commands; and the lab's
# --local option that routes the addresses they move to. $1: the bin folder.
set -uo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
LAB=$HERE/../../scripts/lab.sh
export PYXET_BIN=$BIN
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$HERE/checks.sh"

# Bad prefixes and a duplicate address without "shared_address": status 2, the command never runs.
for prefix in 10.77.10.0 10.77.10.1/24 10.77.300.0/24 10.0.0.0/4 10.76.0.0/16 10.76.0.2/32; do
  "$LAB" --fleet "$HERE/plan_fleet.json" --local "$prefix" -- touch "$work/ran" 2>"$work/err"
  check "--local $prefix refused" 2 $?
  contains "--local $prefix: message" "--local" "$work/err"
done
check "command not run" no "$([ -e "$work/ran" ] && echo yes || echo no)"
sed '2s/"shared_address": true, //' "$HERE/plan_fleet.json" >"$work/typo.json"
"$LAB" --fleet "$work/typo.json" -- touch "$work/ran" 2>"$work/err"
check "duplicate address without shared_address" 2 $?
contains "duplicate address: message" "address 10.77.200.1 is used twice" "$work/err"

# The PC's addresses stay the PC's under a --local prefix that covers them (with the twin too).
check "routes of the PC's addresses" "10.77.0.1 10.77.0.2" "$("$LAB" --twin --local 10.77.0.0/16 --fleet "$HERE/plan_fleet.json" -- \
  sh -c 'nsenter --net="/proc/$(sed -n "s/.*\"pid\":\([0-9]*\).*/\1/p" "$PYXET_LAB_EVENTS" | head -n1)/ns/net" \
    ip route show table local type unicast | cut -d" " -f1 | sort | xargs')"

"$LAB" --fleet "$HERE/plan_fleet.json" --local 10.77.0.0/16 --local 192.168.77.0/24 -- \
  "$BIN/pyxet_sim_tests" --gtest_filter='LabPlan.*'
check "LabPlan tests" 0 $?
finish_checks
