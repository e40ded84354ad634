#!/usr/bin/env bash
# Devices that answer from a port of their own choosing (the simulator's ephemeral_port fault):
# they promise only that an answer goes back to the address and port the request came from.
#  1. the simulator really answers from another port than 57739 or 9999 (and a device without
#     the fault from 57739);
#  2. the broadcast finds them; --target finds such devices behind the router, where only the
#     unicast search reaches (the search of "Find at Addresses..." too);
#  3. upgrade --verify asks them by unicast before and after the image and verifies both
#     families.
# Usage: test_answer_ports.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_answer_ports.sh BIN_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$HERE/checks.sh"

english_cli "$work"
{ printf 'PYXET-SIM-FIRMWARE 2.1.0\n'; head -c 5000 /dev/urandom; } >"$work/new.kri"

cat >"$work/steps.sh" <<'EOS'
cd "$1"
source ./cli_steps.sh
# The source port of each device's answer to an Orvex info request sent to its own address.
python3 - >ports.txt <<'EOP'
import socket
request = bytearray(114)
def put(at, data): request[at:at + len(data)] = bytes(data)
put(0, [0xFF] * 6 + [0x01, 0x00, 0x67, 0x00, 0x00]); put(11, [0x01, 0x00, 0x4C]); put(14, [0x13, 0x21])
put(49, [0x00, 0x04]); put(55, [0x01, 0x04]); put(61, [0x02, 0x04]); put(67, [0x03, 0x04])
put(73, [0x04, 0x04]); put(79, [0x5F, 0x01]); put(82, [0x05, 0x02]); put(86, [0x06, 0x02])
put(90, [0x03, 0x00, 0x15]); put(93, [0x00, 0x01]); put(96, [0x02, 0x10])
for host in ("10.77.20.1", "10.77.20.3"):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(3)
    s.sendto(bytes(request), (host, 57739))
    try:
        data, (address, port) = s.recvfrom(2048)
        print(host, address, "57739" if port == 57739 else "other", len(data))
    except socket.timeout:
        print(host, "silent")
EOP
run found find --wait 0.5 --log
run routed find --target 10.91.1.10-10.91.1.11 --wait 0.5 --log
run upgrade upgrade new.kri 10.77.20.1 10.77.20.2 --verify 15 --json
EOS
"$ROOT/scripts/lab.sh" --fleet "$HERE/ports_fleet.json" --routed "$HERE/ports_routed.json" -- bash "$work/steps.sh" "$work"
cd "$work"
macs() { grep -oE '[0-9A-F]{2}(:[0-9A-F]{2}){5}' "$1" | sort | tr '\n' ' '; }

# 1. The simulator's fault.
check "answers from another port, and from 57739 without the fault" \
  "10.77.20.1 10.77.20.1 other 114|10.77.20.3 10.77.20.3 57739 114|" "$(paste -sd'|' ports.txt)|"

# 2. Found by broadcast and by the unicast search.
check "broadcast status" 0 "$(cat found.rc)"
check "the broadcast finds them" "02:50:00:00:00:01 02:50:00:00:00:02 02:50:00:00:00:03 " "$(macs found.out)"
check "--target status" 0 "$(cat routed.rc)"
check "--target finds the routed devices that answer from another port" \
  "02:50:00:00:00:01 02:50:00:00:00:02 02:50:00:00:00:03 02:5B:00:00:00:01 02:5B:00:00:00:02 " "$(macs routed.out)"
contains "the routed Orvex device is logged" "Found Routed any port device at 10.91.1.10" routed.err
contains "the routed HWG device is logged" "Found Routed HWG any port device at 10.91.1.11" routed.err

# 3. upgrade --verify asks them by unicast.
check "upgrade --verify status" 0 "$(cat upgrade.rc)"
check "--verify, both families before and after" \
  "10.77.20.1 True 1.0 2.1.0 None|10.77.20.2 True 1.0.0 2.1.0 None|" \
  "$(python3 -c 'import json; [print(d["host"], d["ok"], d["firmware_before"], d["firmware_after"], d["error"], end="|") for d in json.load(open("upgrade.out"))]' 2>&1)"
finish_checks
