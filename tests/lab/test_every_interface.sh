#!/usr/bin/env bash
# Finding every device: a lab with three networks, each with simulated devices of both families:
# the usual one behind pyx0 (the default route), a second interface pyx2 (10.78.0.0/16) and a
# subnet behind the router of the default route (10.90.x), which no broadcast reaches.
#  1. the default cycle asks 255.255.255.255 and 10.78.255.255 and finds both interfaces' devices,
#     none of the routed ones; --interface finds one interface's devices only;
#  2. --target finds the routed devices (an address, a CIDR block), and not without it;
#  3. --repeat 3 finds a device that answers only every third request; one request does not;
#  4. set and restart reach a device found only behind the second interface and one found only
#     by --target: sent to 10.78.255.255 and to the device's address, carried out (events), and
#     seen changed by the next search;
#  5. wrong --interface, --target and --repeat values are refused.
# Usage: test_every_interface.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_every_interface.sh BIN_DIR}" && pwd)
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
run all find --wait 0.5 --log
run only2 find --interface pyx2 --wait 0.5
run only0 find --interface pyx0 --wait 0.5
run routed find --target 10.90.1.0/24 --target 10.90.2.200 --wait 0.5 --log
run once find --target 10.90.2.10 --wait 0.5
run thrice find --target 10.90.2.10 --repeat 3 --wait 0.5
run set2 set 02:4E:00:00:00:01 --name "Renamed two" --wait 1 --log
run set2hwg set 02:4E:00:00:00:02 --http-port 8082 --wait 1 --log
run restart2 restart 02:4E:00:00:00:01 --wait 1 --log
run setr set 10.90.1.10 --target 10.90.1.10 --name "Renamed routed" --wait 1 --log
run setrhwg set 02:5A:00:00:00:02 --target 10.90.1.11 --http-port 8083 --wait 1 --log
run restartr restart 02:5A:00:00:00:01 --target 10.90.1.10 --wait 1 --log
sleep 0.8
run after find --target 10.90.1.10-10.90.1.11 --wait 0.5
run badif find --interface nope --wait 0
run badtarget find --target 10.90.1.0/33 --target x.y --wait 0
run toomany find --target 10.0.0.0/15 --wait 0
run badrepeat find --repeat 6 --wait 0
cp "$PYXET_LAB_EVENTS2" events2.jsonl
cp "$PYXET_LAB_EVENTS3" events3.jsonl
EOS
"$ROOT/scripts/lab.sh" --fleet2 "$HERE/net2_fleet.json" --routed "$HERE/routed_fleet.json" -- bash "$work/steps.sh" "$work"
cd "$work"
macs() { grep -oE '[0-9A-F]{2}(:[0-9A-F]{2}){5}' "$1" | sort | tr '\n' ' '; }
net1="00:0A:14:1E:28:32 00:0A:14:1E:28:33 00:0A:14:1E:28:34 00:0A:14:1E:28:35 00:0A:14:1E:28:36 00:0A:14:1E:28:37 00:0A:59:00:10:01 00:0A:59:00:10:02 00:0A:59:00:10:03 00:0A:59:00:10:04 00:0A:59:00:10:05 00:0A:59:00:10:06"
net2="02:4E:00:00:00:01 02:4E:00:00:00:02"

# 1. Every interface.
check "default cycle status" 0 "$(cat all.rc)"
check "default cycle: both interfaces, nothing routed" "$net1 $net2 " "$(macs all.out)"
check "default cycle asks each interface" \
  "->> Sending Orvex UDP Info to 255.255.255.255|->> Sending Orvex UDP Info to 10.78.255.255|->> Sending HWG UDP Info to 255.255.255.255|->> Sending HWG UDP Info to 10.78.255.255" \
  "$(grep -F -- '->> Sending' all.err | cut -f2 | paste -sd'|')"
check "--interface pyx2" "$net2 " "$(macs only2.out)"
check "--interface pyx0" "$net1 " "$(macs only0.out)"

# 2. Other subnets.
check "--target status" 0 "$(cat routed.rc)"
check "--target finds the routed devices too" \
  "$net1 02:4E:00:00:00:01 02:4E:00:00:00:02 02:5A:00:00:00:01 02:5A:00:00:00:02 " "$(macs routed.out)"
contains "--target logs the search" "Asking 257 addresses by unicast" routed.err
check "the lossy device was asked once, then three times" 4 \
  "$(grep '"kind":"info"' events3.jsonl | grep -c '"device":"02:5A:00:00:00:03"')"

# 3. Repeats.
check "one request to the lossy device" "$net1 $net2 " "$(macs once.out)"
check "three requests to the lossy device" "$net1 $net2 02:5A:00:00:00:03 " "$(macs thrice.out)"

# 4. Commands the way the device answered.
for step in set2 set2hwg restart2 setr setrhwg restartr; do
  check "$step status" 0 "$(cat $step.rc)"
done
contains "set behind pyx2 goes to its broadcast" "->> Sending Orvex UDP Update to 10.78.255.255" set2.err
contains "HWG set behind pyx2 goes to its broadcast" "->> Sending HWG UDP Update to 10.78.255.255" set2hwg.err
contains "restart behind pyx2 goes to its broadcast" "->> Sending Orvex UDP Restart to 10.78.255.255" restart2.err
contains "routed set goes to the device" "->> Sending Orvex UDP Update to 10.90.1.10" setr.err
contains "routed HWG set goes to the device" "->> Sending HWG UDP Update to 10.90.1.11" setrhwg.err
contains "routed restart goes to the device" "->> Sending Orvex UDP Restart to 10.90.1.10" restartr.err
contains "Orvex behind pyx2 stored its name" '"name":"Renamed two"' events2.jsonl
contains "HWG behind pyx2 stored its port" '"http_port":8082' events2.jsonl
check "Orvex behind pyx2 restarted" 1 "$(grep '"event":"restart"' events2.jsonl | grep -c '"cause":"restart"')"
contains "routed Orvex stored its name" '"name":"Renamed routed"' events3.jsonl
contains "routed HWG stored its port" '"http_port":8083' events3.jsonl
check "routed Orvex restarted" 1 "$(grep '"event":"restart"' events3.jsonl | grep -c '"cause":"restart"')"
contains "the routed device lists its new name" "Renamed routed" after.out
check "the HWG commands were authentic" 2 "$(cat events2.jsonl events3.jsonl | grep '"kind":"command"' | grep -c '"authentic":true')"

# 5. Refusals.
check "unknown interface" 2 "$(cat badif.rc)"
contains "unknown interface named" 'no interface to search named "nope" (there are: pyx0, pyx2)' badif.err
check "bad targets" 2 "$(cat badtarget.rc)"
contains "bad target named" "Not an address, range or CIDR block: 10.90.1.0/33" badtarget.err
check "too many targets" 2 "$(cat toomany.rc)"
contains "too many targets said" "131072 addresses in one search; at most 65536 are allowed." toomany.err
check "repeat beyond 5" 2 "$(cat badrepeat.rc)"
contains "repeat said" "--repeat: takes a number from 1 to 5" badrepeat.err
finish_checks
