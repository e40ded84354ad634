#!/usr/bin/env bash
# pyxet-cli set, restart and factory-default against the simulated devices of both families:
#  1. a new name, address and ports reach an Orvex and an HWG device (seen by rediscovery and in
#     the simulator's events, the HWG command authentic with its filler intact);
#  2. an Orvex restart makes the device silent for a while, then it answers again;
#  3. factory defaults bring back each family's factory values;
#  4. refusals and failures: options a device never receives, malformed values (ports, and
#     addresses that are not plain dotted decimal, or empty where the device needs one), an
#     unknown target, a command the device does not offer, a device error code, a device that
#     never answers, wrong command lines; none of them sends anything;
#  5. a name longer than a device takes is cut after its last whole character, and blanks around
#     an address are removed before it is sent.
# Usage: test_cli_setup.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_cli_setup.sh BIN_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export PYXET_BIN=$BIN LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

english_cli "$work"

cat >"$work/fleet.json" <<'EOF'
[
 {"family": "Orvex", "mac": "00:0A:14:00:01:01", "name": "Hall", "ip": "10.77.4.1", "type": 3,
  "restart_ms": 1500},
 {"family": "Orvex", "mac": "00:0A:14:00:01:02", "name": "Boiler", "ip": "10.77.4.2", "type": 1,
  "restart_ms": 3000},
 {"family": "Orvex", "mac": "00:0A:14:00:01:03", "name": "Shop floor", "ip": "10.77.4.3", "type": 1,
  "http_port": 8080, "restart_ms": 300, "factory": {"name": "Orvex factory", "http_port": 80}},
 {"family": "Orvex", "mac": "00:0A:14:00:01:04", "name": "On DHCP", "ip": "10.77.4.4", "dhcp": true},
 {"family": "Orvex", "mac": "00:0A:14:00:01:05", "name": "Broken", "ip": "10.77.4.5", "error_code": 9},
 {"family": "Orvex", "mac": "00:0A:14:00:01:06", "name": "Busy", "ip": "10.77.4.6", "restart_ms": 8000},
 {"family": "Orvex", "mac": "00:0A:14:00:01:07", "name": "Kiosk", "ip": "10.77.4.7", "restart_ms": 300},
 {"family": "HWG", "mac": "00:0A:59:00:01:01", "name": "Poseidon", "ip": "10.77.5.1", "type": 3,
  "dhcp": false, "restart_ms": 300},
 {"family": "HWG", "mac": "00:0A:59:00:01:02", "name": "Damocles", "ip": "10.77.5.2", "type": 2,
  "restart_ms": 300, "factory": {"ip": "10.77.5.20", "http_port": 80}, "http_port": 8000},
 {"family": "HWG", "mac": "00:0A:59:00:01:03", "name": "Locked", "ip": "10.77.5.3", "type": 3,
  "can_set_default": false}
]
EOF

# Everything happens in one lab; each step's output and exit status go to files named after it.
cat >"$work/steps.sh" <<'EOF'
cd "$1"
source ./cli_steps.sh
run set_orvex set 00:0a:14:00:01:01 --name "Hall East" --ip 10.77.4.41 --http-port 8081 --telnet-port 2323 --wait 0.5 --log
run set_hwg set 10.77.5.1 --ip 10.77.5.41 --mask 255.255.255.0 --gateway 10.77.5.254 --http-port 81 --dhcp 1 --wait 0.5
run restart restart 00-0A-14-00-01-02 --wait 0.5 --log
run silent find --json --wait 0.4
sleep 3.2  # the Boiler is down for 3 s: plenty for one more start-up of pyxet-cli, even on a crowded machine
run back find --json --wait 0.4
run default_orvex factory-default 10.77.4.3 --wait 0.5 --log
run default_hwg factory-default 00:0A:59:00:01:02 --wait 0.5 --log
# Refused before anything is sent.
run hwg_name set 10.77.5.3 --name X --dns1 1.1.1.1 --telnet-port 24 --wait 0.5
run dhcp_ip set 10.77.4.4 --ip 10.77.4.44 --wait 0.5
run dhcp_off_ip set 10.77.4.4 --dhcp 0 --ip 10.77.4.44 --wait 0.5
run bad_port set 10.77.4.2 --telnet-port 23a --http-port x --wait 0.5
run bad_ip set 10.77.5.3 --gateway 10.77.5.256 --wait 0.5
run letter_o set 10.77.4.2 --ip 10.77.4.2OO --wait 0.5
run empty_number set 10.77.4.2 --gateway 10..4.254 --wait 0.5
run no_last_number set 10.77.4.2 --dns1 10.77.4. --wait 0.5
run leading_zero set 10.77.4.2 --mask 255.255.255.000 --wait 0.5
run empty_ip set 10.77.4.2 --ip "" --wait 0.5
run hwg_letter_o set 10.77.5.3 --ip 10.77.5.3OO --wait 0.5
run hwg_no_gateway set 10.77.5.3 --gateway " " --wait 0.5
run control_ip set 10.77.4.2 --ip $'10.77.4.2\e[31m\\' --wait 0.5
# A name cut at the device's 32 bytes, an address with blanks around, an empty name server.
run name_cut set 10.77.4.7 --name "Kotelna u vchodu do skladu 12čřž" --ip " 10.77.4.70 " --dns2 "" --wait 0.5
run unknown set 10.77.9.9 --name X --wait 0.5
run hwg_restart restart 10.77.5.3 --wait 0.5
run locked factory-default 10.77.5.3 --wait 0.5
# Sent, but the device says no, or nothing.
run error_code set 10.77.4.5 --name Fixed --wait 0.5
# Wrong command lines.
run no_target set --name X
run no_value set 10.77.4.2
run dhcp_two set 10.77.4.2 --dhcp 2
run restart_name restart 10.77.4.2 --name X
run bad_target restart 10.77.4
run two_targets restart 10.77.4.2 10.77.4.1
sleep 1.6
run after find --json --wait 0.6
EOF
"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" --events "$work/events.jsonl" -- bash "$work/steps.sh" "$work"

# A device that answered the discovery but is restarting when the command comes: a restart
# request sent by hand while pyxet-cli waits for answers. A run of its own, with its own events.
# The hand has the whole wait (3 s) to notice the answer and send, even on a crowded machine, and
# the device stays down (8 s) until pyxet-cli has waited for the command's answer too.
cat >"$work/busy.sh" <<'EOF2'
cd "$1"
# As soon as the device has answered pyxet-cli's discovery, it is told to restart.
python3 -c '
import json, socket, sys, time
def answered():
    for line in open(sys.argv[1]):
        try:
            event = json.loads(line)
        except ValueError:  # a line still being written
            continue
        if event.get("kind") == "info" and event.get("device") == "00:0A:14:00:01:06":
            return True
    return False
deadline = time.time() + 10
while not answered():
    if time.time() > deadline:
        sys.exit("busy.sh: the device never answered a discovery")
    time.sleep(0.02)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.sendto(bytes([0x00, 0x0A, 0x14, 0x00, 0x01, 0x06, 1, 0, 5, 0, 0, 4, 0, 2, 1, 0]), ("255.255.255.255", 57739))
' "$PYXET_LAB_EVENTS" &
sleep 0.3  # python is running before the discovery starts
./pyxet-cli set 10.77.4.6 --name Heard --wait 3 >busy.out 2>busy.err
echo $? >busy.rc
wait
EOF2
"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" --events "$work/busy.jsonl" -- bash "$work/busy.sh" "$work"

status() { cat "$work/$1.rc"; }
out() { cat "$work/$1.out"; }
TAB=$'\t'

# --- 1. New setups ---------------------------------------------------------------------------
check "set Orvex: status" 0 "$(status set_orvex)"
check "set Orvex: line" "00:0A:14:00:01:01${TAB}10.77.4.1${TAB}ok" "$(out set_orvex)"
contains "set Orvex: update line" "DEBUG${TAB}->> Sending Orvex UDP Update to 255.255.255.255" "$work/set_orvex.err"
contains "set Orvex: apply line" "INFO${TAB}Reconfiguring 10.77.4.41 device. Please wait." "$work/set_orvex.err"
contains "set Orvex: answer line" "DEBUG${TAB}Device Hall East from 10.77.4.1 was reconfigured" "$work/set_orvex.err"
check "set HWG: status" 0 "$(status set_hwg)"
check "set HWG: line" "00:0A:59:00:01:01${TAB}10.77.5.1${TAB}ok" "$(out set_hwg)"

python3 - "$work" <<'PY' || failures=$((failures + 1))
import json, os, sys
work = sys.argv[1]
events = [json.loads(l) for l in open(os.path.join(work, "events.jsonl"))]
after = {d["MAC"]: d for d in json.load(open(os.path.join(work, "after.out")))}
errors = []

def expect(what, got, want):
    if got != want:
        errors.append("%s: %r, expected %r" % (what, got, want))

def requests(mac, kind=None):
    return [e for e in events if e["event"] == "request" and e["device"] == mac
            and e["kind"] != "info" and (kind is None or e["kind"] == kind)]

# Orvex: the stored setup and the rediscovered values.
[update] = requests("00:0A:14:00:01:01", "update") or [None]
expect("Orvex update request", update and (update["outcome"], update["size"], update["action"]), ("done", 95, 1))
hall = after.get("00:0A:14:00:01:01", {})
expect("Orvex rediscovered", [hall.get(k) for k in ("Name", "IP", "HTTPPort", "TelnetPort", "Mask", "Gateway")],
       ["Hall East", "10.77.4.41", 8081, 2323, "255.255.0.0", "10.77.0.254"])

# HWG: authentic, filler intact, and the values back on rediscovery.
[command] = requests("00:0A:59:00:01:01") or [None]
expect("HWG command", command and (command["kind"], command["outcome"], command["authentic"],
                                   command["filler_intact"]), ("command", "done", True, True))
poseidon = after.get("00:0A:59:00:01:01", {})
expect("HWG rediscovered", [poseidon.get(k) for k in ("IP", "Mask", "Gateway", "HTTPPort", "Dhcp", "Name")],
       ["10.77.5.41", "255.255.255.0", "10.77.5.254", 81, 1, "Poseidon"])

# 2. Restart: silent at once, back after its restart time.
silent = {d["MAC"] for d in json.load(open(os.path.join(work, "silent.out")))}
back = {d["MAC"] for d in json.load(open(os.path.join(work, "back.out")))}
expect("restarting device silent", "00:0A:14:00:01:02" in silent, False)
expect("other devices still answer", "00:0A:14:00:01:05" in silent, True)
expect("restarted device back", "00:0A:14:00:01:02" in back, True)
[restart] = requests("00:0A:14:00:01:02", "restart") or [None]
expect("Orvex restart request", restart and (restart["outcome"], restart["size"], restart["action"]), ("done", 16, 1))

# 3. Factory defaults.
[reset] = requests("00:0A:14:00:01:03", "factory_default") or [None]
expect("Orvex factory default", reset and (reset["outcome"], reset["size"], reset["action"]), ("done", 16, 2))
shop = after.get("00:0A:14:00:01:03", {})
expect("Orvex factory values", [shop.get("Name"), shop.get("HTTPPort")], ["Orvex factory", 80])
[reset] = requests("00:0A:59:00:01:02") or [None]
expect("HWG factory default", reset and (reset["outcome"], reset["authentic"], reset["filler_intact"]),
       ("done", True, True))
states = [e for e in events if e["event"] == "state" and e["device"] == "00:0A:59:00:01:02"]
expect("HWG stored cause", [s["cause"] for s in states], ["factory_default"])
damocles = after.get("00:0A:59:00:01:02", {})
expect("HWG factory values", [damocles.get("IP"), damocles.get("HTTPPort")], ["10.77.5.20", 80])

# 4. Nothing reached the devices that refused or were refused.
expect("requests to the locked HWG device", requests("00:0A:59:00:01:03"), [])
expect("requests to the DHCP device (only the one with DHCP switched off)",
       [(r["kind"], r["size"]) for r in requests("00:0A:14:00:01:04")], [("update", 95)])
expect("requests to the Boiler (its malformed addresses refused)",
       [r["kind"] for r in requests("00:0A:14:00:01:02")], ["restart"])
[broken] = requests("00:0A:14:00:01:05") or [None]
expect("error device request", broken and (broken["kind"], broken["error_code"]), ("update", 9))
# 5. The name cut after its last whole character (č), the address without its blanks.
[kiosk_update] = requests("00:0A:14:00:01:07", "update") or [None]
expect("cut name request", kiosk_update and (kiosk_update["outcome"], kiosk_update["size"]), ("done", 95))
kiosk = after.get("00:0A:14:00:01:07", {})
expect("cut name rediscovered", [kiosk.get(k) for k in ("Name", "IP", "DNS2")],
       ["Kotelna u vchodu do skladu 12\u010d", "10.77.4.70", "0.0.0.0"])
unmatched = [e for e in events if e["event"] in ("unmatched", "malformed")]
expect("unmatched or malformed datagrams", unmatched, [])

busy = [json.loads(l) for l in open(os.path.join(work, "busy.jsonl"))]
done = [e for e in busy if e["event"] == "request" and e["kind"] == "update"]
expect("the restarting device ignored the update", [(e["device"], e["outcome"]) for e in done],
       [("00:0A:14:00:01:06", "ignored: restarting")])
if errors:
    print("\n".join(errors), file=sys.stderr)
    sys.exit(1)
PY

# --- 2. Restart and 3. factory defaults on standard output ------------------------------------
check "restart: line" "00:0A:14:00:01:02${TAB}10.77.4.2${TAB}ok" "$(out restart)"
contains "restart: request line" "DEBUG${TAB}->> Sending Orvex UDP Restart to 255.255.255.255" "$work/restart.err"
contains "restart: restart line" "INFO${TAB}Restart Boiler device from 10.77.4.2. Please wait." "$work/restart.err"
contains "restart: answer line" "DEBUG${TAB}Device from 10.77.4.2 was restarted" "$work/restart.err"
check "factory default Orvex: status" 0 "$(status default_orvex)"
contains "factory default Orvex: answer" "DEBUG${TAB}Device from 10.77.4.3 was set to default factory" "$work/default_orvex.err"
check "factory default HWG: status" 0 "$(status default_hwg)"
contains "factory default HWG: line" \
  "INFO${TAB}Setting Damocles device from 10.77.5.2 to factory default. Please wait." "$work/default_hwg.err"

# --- 4. Refused, failed, wrong -------------------------------------------------------------------
expect_line() {  # expect_line STEP STATUS LINE
  check "$1: status" "$2" "$(status "$1")"
  check "$1: line" "$3" "$(out "$1")"
}
expect_line hwg_name 1 "00:0A:59:00:01:03${TAB}10.77.5.3${TAB}failed${TAB}not sent to this device: --name, --dns1, --telnet-port"
expect_line dhcp_ip 1 "00:0A:14:00:01:04${TAB}10.77.4.4${TAB}failed${TAB}not sent to this device: --ip"
expect_line bad_port 1 "00:0A:14:00:01:02${TAB}10.77.4.2${TAB}failed${TAB}'23a' is not a valid integer value"
expect_line bad_ip 1 "00:0A:59:00:01:03${TAB}10.77.5.3${TAB}failed${TAB}'10.77.5.256' is not a valid IP address"
BOILER="00:0A:14:00:01:02${TAB}10.77.4.2${TAB}failed"
expect_line letter_o 1 "${BOILER}${TAB}'10.77.4.2OO' is not a valid IP address"
expect_line empty_number 1 "${BOILER}${TAB}'10..4.254' is not a valid IP address"
expect_line no_last_number 1 "${BOILER}${TAB}'10.77.4.' is not a valid IP address"
expect_line leading_zero 1 "${BOILER}${TAB}'255.255.255.000' is not a valid IP address"
expect_line empty_ip 1 "${BOILER}${TAB}'' is not a valid IP address"
expect_line hwg_letter_o 1 "00:0A:59:00:01:03${TAB}10.77.5.3${TAB}failed${TAB}'10.77.5.3OO' is not a valid IP address"
# What the user typed is quoted through SafeText: controls written out, a backslash doubled.
expect_line control_ip 1 "${BOILER}${TAB}'10.77.4.2\\x1B[31m\\\\' is not a valid IP address"
expect_line hwg_no_gateway 1 "00:0A:59:00:01:03${TAB}10.77.5.3${TAB}failed${TAB}'' is not a valid IP address"
expect_line name_cut 0 "00:0A:14:00:01:07${TAB}10.77.4.7${TAB}ok"
expect_line unknown 1 "${TAB}10.77.9.9${TAB}failed${TAB}no device answered for 10.77.9.9"
expect_line hwg_restart 1 "00:0A:59:00:01:03${TAB}10.77.5.3${TAB}failed${TAB}This device cannot be restarted."
expect_line locked 1 "00:0A:59:00:01:03${TAB}10.77.5.3${TAB}failed${TAB}This device does not offer a factory default."
expect_line error_code 1 "00:0A:14:00:01:05${TAB}10.77.4.5${TAB}failed${TAB}the device answered with error code 9"
expect_line busy 3 "00:0A:14:00:01:06${TAB}10.77.4.6${TAB}failed${TAB}no answer within 3 seconds"
# With DHCP switched off in the same command the address is part of the request.
check "dhcp_off_ip: status" 0 "$(status dhcp_off_ip)"
for step in no_target no_value dhcp_two restart_name bad_target two_targets; do
  check "$step: status" 2 "$(status "$step")"
  check "$step: nothing on standard output" "" "$(out "$step")"
  contains "$step: usage" "usage: pyxet-cli" "$work/$step.err"
done

finish_checks
echo "pyxet-cli set, restart and factory-default: ok"
