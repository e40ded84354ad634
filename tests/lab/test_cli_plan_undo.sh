#!/usr/bin/env bash
# pyxet-cli plan undo puts back what was there, even what a new plan would refuse: a unit whose
# gateway lay outside its subnet is moved by a plan (applied and verified), and its undo file,
# which an ordinary plan apply refuses (the gateway outside the subnet blocks), is applied by
# plan undo with that gateway shown as a note, and verified; a new search finds the old values.
# Usage: test_cli_plan_undo.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_cli_plan_undo.sh BIN_DIR}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/checks.sh"
cli_lab_work
MAC=02:54:00:00:00:01

cat >"$work/fleet.json" <<'EOF2'
[
 {"family": "Orvex", "mac": "02:54:00:00:00:01", "name": "Outside", "ip": "10.77.40.5", "mask": "255.255.255.0",
  "gateway": "10.77.99.254", "follow_ip": true, "restart_ms": 300},
 {"family": "Orvex", "mac": "02:54:00:00:00:02", "name": "Bystander", "ip": "10.77.40.6", "mask": "255.255.255.0",
  "gateway": "10.77.40.1", "follow_ip": true, "restart_ms": 300}
]
EOF2
cat >"$work/steps.sh" <<'EOF2'
cd "$1"
source ./cli_steps.sh
mark() { wc -l <"$PYXET_LAB_EVENTS" >"$1.mark"; }
run make plan make 02:54:00:00:00:01 --ip-from 10.77.41.5 --gateway 10.77.41.1 --wait 1
run apply plan apply make.out --verify 20 --wait 1 --save-undo undo.csv
mark refused
run refused plan apply undo.csv --wait 1 --save-undo refused-undo.csv
mark refused_end
run undo plan undo undo.csv --verify 20 --wait 1 --save-undo undo-undo.csv
run back find --json --wait 1
EOF2
"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" --events "$work/events.jsonl" --local 10.77.41.0/24 -- \
  bash "$work/steps.sh" "$work"

note="The gateway 10.77.99.254 lies outside the subnet of 10.77.40.5 with the mask 255.255.255.0"
check "make" 0 "$(cat "$work/make.rc")"
check "apply" 0 "$(cat "$work/apply.rc")"
contains "apply: verified" "$MAC${TAB}10.77.40.5${TAB}verified" "$work/apply.out"
check "undo file: the gateway it had" "10.77.99.254" \
  "$(python3 -c 'import csv, sys; print(next(csv.DictReader(open(sys.argv[1])))["Gateway"])' "$work/undo.csv")"
# As an ordinary plan the undo file is refused, and nothing reaches the unit.
check "as a plan: refused" 1 "$(cat "$work/refused.rc")"
contains "as a plan: the reason" "pyxet-cli: the plan has a blocking problem; nothing was sent" "$work/refused.err"
contains "as a plan: the gateway named" "$note" "$work/refused.out"
check "as a plan: no undo file" "" "$(ls "$work/refused-undo.csv" 2>/dev/null)"
check "as a plan: no command sent" 0 "$(sed -n "$(($(cat "$work/refused.mark") + 1)),$(cat "$work/refused_end.mark")p" \
  "$work/events.jsonl" | grep -c '"kind":"update"')"
# The undo: the note shown, the values sent and verified.
check "undo" 0 "$(cat "$work/undo.rc")"
contains "undo: the gateway shown as a note" "$note" "$work/undo.out"
contains "undo: verified" "$MAC${TAB}10.77.41.5${TAB}verified" "$work/undo.out"
check "found with its old values" "10.77.40.5 10.77.40.5 255.255.255.0 10.77.99.254" \
  "$(python3 -c '
import json, sys
d = [d for d in json.load(open(sys.argv[1])) if d["MAC"] == sys.argv[2]][0]
print(d["PeerIP"], d["IP"], d["Mask"], d["Gateway"])' "$work/back.out" "$MAC")"
finish_checks
echo "plan undo checks passed"
