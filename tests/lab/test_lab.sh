#!/usr/bin/env bash
# scripts/lab.sh itself: exit status, silence, isolation, exported files, generated fleets,
# option errors, teardown, and a simulator that dies under it. $1: the bin folder.
set -uo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
LAB=$ROOT/scripts/lab.sh
export PYXET_BIN=$BIN
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

"$LAB" -- sh -c 'exit 7'
check "exit status of the command" 7 $?

check "nothing but the command's output" "hello" "$("$LAB" -- echo hello 2>&1)"

# Only loopback and the lab's end of the veth pair exist; the default route leads to the devices.
check "interfaces" "lo pyx0" "$("$LAB" -- sh -c "ip -o link | awk -F': ' '{print \$2}' | cut -d@ -f1 | sort | xargs")"
check "address" "10.77.0.1/16" "$("$LAB" -- sh -c "ip -o -4 addr show dev pyx0 | awk '{print \$4}'")"

# The exported files.
check "default fleet" "$ROOT/sim/fleet.json" "$("$LAB" -- sh -c 'echo "$PYXET_LAB_FLEET"')"
"$LAB" --events "$work/events.jsonl" -- true
grep -q '"event":"started"' "$work/events.jsonl"
check "events file kept after the lab" 0 $?
check "every event names its device (or null)" "$(wc -l <"$work/events.jsonl")" "$(grep -c '"device":' "$work/events.jsonl")"

# A generated fleet is written out in the fleet format and removed with the lab.
gen_path=$("$LAB" --orvex 3 --hwg 2 -- sh -c 'cp "$PYXET_LAB_FLEET" "$0/gen.json"; echo "$PYXET_LAB_FLEET"' "$work")
check "generated fleet readable" 5 "$("$BIN/pyxet-sim" --fleet "$work/gen.json" --list-addresses | wc -l)"
check "temporary folder removed" no "$([ -e "$(dirname "$gen_path")" ] && echo yes || echo no)"

# Option and fleet errors: status 2 and a message, the command never runs.
"$LAB" --bogus -- true 2>"$work/err"
check "unknown option" 2 $?
grep -q "unknown option --bogus" "$work/err" || { echo "FAIL: no message for --bogus" >&2; failures=$((failures + 1)); }
"$LAB" --fleet "$ROOT/sim/fleet.json" --orvex 2 -- true 2>/dev/null
check "--fleet with --orvex" 2 $?
printf '[{"family": "Orvex", "mac": "00:0A:14:1E:28:32", "ip": "10.77.1.1"},\n' >"$work/bad.json"
"$LAB" --fleet "$work/bad.json" -- touch "$work/ran" 2>"$work/err"
check "broken fleet" 2 $?
check "command not run" no "$([ -e "$work/ran" ] && echo yes || echo no)"
grep -q "not valid JSON" "$work/err" || { echo "FAIL: no message for a broken fleet" >&2; failures=$((failures + 1)); }

# Teardown stops the simulator; a simulator that dies while the command runs fails the lab.
"$LAB" --events "$work/ev2.jsonl" -- true
pid=$(sed -n 's/.*"pid":\([0-9]*\).*/\1/p' "$work/ev2.jsonl" | head -n1)
check "simulator gone after the lab" gone "$(kill -0 "$pid" 2>/dev/null && echo running || echo gone)"
"$LAB" --events "$work/ev3.jsonl" -- sh -c \
  'kill -KILL "$(sed -n "s/.*\"pid\":\([0-9]*\).*/\1/p" "$PYXET_LAB_EVENTS" | head -n1)"; sleep 0.2' 2>"$work/err"
check "dead simulator fails the lab" 1 $?
grep -q "pyxet-sim stopped" "$work/err" || { echo "FAIL: no message for a dead simulator" >&2; failures=$((failures + 1)); }

finish_checks
echo "lab.sh checks passed"
