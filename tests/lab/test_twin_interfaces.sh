#!/usr/bin/env bash
# A PC with two interfaces on one LAN (lab.sh --twin: pyx6 = 10.77.0.2/16 beside pyx0, the
# default route's, and listed before it), against the shipped fleet:
#  1. a search asks the subnet once, by 255.255.255.255: each device answers once and is logged
#     "Found" once;
#  2. commands to a device on that subnet go by 255.255.255.255 (the simulator's events say where
#     each command was sent), for both families;
#  3. choosing the twin in the drop-down (--interface pyx6) asks its directed broadcast.
# Usage: test_twin_interfaces.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_twin_interfaces.sh BIN_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$HERE/checks.sh"

english_cli "$work"

cat >"$work/steps.sh" <<'EOS'
cd "$1"
source ./cli_steps.sh
ip -o -4 addr show | awk '$2 != "lo" { print $2, $4 }' >interfaces.txt
run find find --wait 0.5 --log
cp "$PYXET_LAB_EVENTS" events-find.jsonl
run set set 00:0A:14:1E:28:32 --name "Hall twin" --wait 0.5 --log
run sethwg set 00:0A:59:00:10:01 --http-port 8081 --wait 0.5 --log
run chosen find --interface pyx6 --wait 0.5 --log
sleep 0.3
cp "$PYXET_LAB_EVENTS" events.jsonl
EOS
"$ROOT/scripts/lab.sh" --twin -- bash "$work/steps.sh" "$work"
cd "$work"

check "the twin is listed before pyx0" "pyx6 10.77.0.2/16|pyx0 10.77.0.1/16" "$(paste -sd'|' interfaces.txt)"

# 1. One request per family, one answer per device.
check "search status" 0 "$(cat find.rc)"
check "each family asked by 255.255.255.255 only" \
  "->> Sending Orvex UDP Info to 255.255.255.255|->> Sending HWG UDP Info to 255.255.255.255" \
  "$(grep -F -- '->> Sending' find.err | cut -f2 | paste -sd'|')"
devices=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1]))))' "$ROOT/sim/fleet.json")
check "each device logged Found once" "$devices $devices" \
  "$(grep -c 'Found .* device at' find.err) $(grep -o 'Found .* device at .*' find.err | sort -u | wc -l)"
check "each device heard one request per search" "$devices $devices" \
  "$(python3 -c 'import json, sys
info = [e["device"] for e in map(json.loads, open(sys.argv[1])) if e.get("kind") == "info"]
print(len(info), len(set(info)))' events-find.jsonl)"

# 2. Commands by 255.255.255.255.
check "set status" 0 "$(cat set.rc)"
check "HWG set status" 0 "$(cat sethwg.rc)"
contains "Orvex update logged to 255.255.255.255" "->> Sending Orvex UDP Update to 255.255.255.255" set.err
contains "HWG update logged to 255.255.255.255" "->> Sending HWG UDP Update to 255.255.255.255" sethwg.err
check "the commands reached the devices by 255.255.255.255" \
  "00:0A:14:1E:28:32 update 255.255.255.255|00:0A:59:00:10:01 command 255.255.255.255|" \
  "$(python3 -c 'import json, sys
for l in open(sys.argv[1]):
    e = json.loads(l)
    if e.get("event") == "request" and e.get("kind") != "info":
        print(e["device"], e["kind"], e["to"], end="|")' events.jsonl)"
contains "the Orvex device stored its name" '"name":"Hall twin"' events.jsonl

# 3. The twin chosen.
check "chosen twin status" 0 "$(cat chosen.rc)"
check "the chosen twin asks its directed broadcast" \
  "->> Sending Orvex UDP Info to 10.77.255.255|->> Sending HWG UDP Info to 10.77.255.255" \
  "$(grep -F -- '->> Sending' chosen.err | cut -f2 | paste -sd'|')"
finish_checks
