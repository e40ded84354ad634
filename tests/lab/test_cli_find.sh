#!/usr/bin/env bash
# pyxet-cli find against the simulated fleet:
#  1. the shipped fleet is found field by field, named from the Pyxet.ini beside the program;
#  2. a device answering twice is listed once and logged twice; a late answer is taken; answers
#     the families reject never reach the list;
#  3. a UDP socket that cannot be opened gives a message and exit status 2.
# Usage: test_cli_find.sh BIN_DIR
set -euo pipefail
BIN=$(cd "${1:?usage: test_cli_find.sh BIN_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export PYXET_BIN=$BIN LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A private copy of the program, so that its Pyxet.ini (and no catalogue) is ours. Orvex type 4
# has no entry: its name must come out empty.
cp "$BIN/pyxet-cli" "$work/pyxet-cli"
cat >"$work/Pyxet.ini" <<'EOF'
[Products]
Orvex=1=IO+Eight,3=Relay+Four,20=Gate+way,32=Sense,128=Loader,0=Faulty
HWG="3=Poseidon 2261",2=Damocles+2404,65=Poseidon2+3266,15=Damocles+MINI,11=Poseidon+3262,24=Poseidon+3468
EOF

# --- 1. The shipped fleet -------------------------------------------------------------------
"$ROOT/scripts/lab.sh" --fleet "$ROOT/sim/fleet.json" -- \
  bash -c 'cp "$PYXET_LAB_FLEET" "$0/fleet.json"; "$0/pyxet-cli" find --json --wait 1.5 >"$0/found.json"' "$work"

python3 - "$work/fleet.json" "$work/found.json" <<'EOF'
import json, sys

fleet = json.load(open(sys.argv[1]))
found = json.load(open(sys.argv[2]))
orvex_names = {1: "IO Eight", 3: "Relay Four", 20: "Gate way", 32: "Sense", 128: "Loader", 0: "Faulty"}
hwg_names = {3: "Poseidon 2261", 2: "Damocles 2404", 65: "Poseidon2 3266", 15: "Damocles MINI",
             11: "Poseidon 3262", 24: "Poseidon 3468"}

def port(value):  # ports are kept in 16 signed bits
    return value - 65536 if value > 32767 else value

def pad(text, width):  # widths count characters
    return text + " " * max(0, width - len(text))

def expected(d):
    hwg = d["family"] == "HWG"
    items = d.get("items", ["can_set_default", "name", "type", "http_port", "telnet_port"])
    e = {"MAC": d["mac"].upper(), "PeerIP": d.get("address", d["ip"]), "IP": d["ip"],
         "Mask": d.get("mask", "255.255.0.0"), "Gateway": d.get("gateway", "10.77.0.254")}
    if hwg:
        t = d.get("type", 3)
        e["TypeCode"] = t if "type" in items else d.get("header_type", min(t, 31))
        e["Name"] = d.get("name", "HWG device") if "name" in items else "N/A"
        e["DNS1"] = e["DNS2"] = "N/A"
        dhcp = d.get("dhcp", False)
        e["Dhcp"] = -1 if dhcp is None else int(dhcp)
        e["FirmwareRev"] = ".".join(str(int(n)) for n in d.get("firmware", "1.0.0").split("."))
        if "type" in items:  # the header port counts only without a type item
            e["HTTPPort"] = port(d.get("http_port", 80)) if "http_port" in items else -1
        else:
            e["HTTPPort"] = port(d.get("http_port", 80))
        e["TelnetPort"] = port(d.get("telnet_port", 23)) if "telnet_port" in items else -1
        e["CanSetDefault"] = d.get("can_set_default", True) if "can_set_default" in items else True
        e["CanRestart"] = False
        e["TypeName"] = hwg_names.get(e["TypeCode"], "")
        e["Family"] = "HWG"
    else:
        e["TypeCode"] = d.get("type", 1) if d.get("error_code", 0) == 0 else 0
        e["Name"] = d.get("name", "Orvex device")
        e["DNS1"], e["DNS2"] = d.get("dns1", "0.0.0.0"), d.get("dns2", "0.0.0.0")
        e["Dhcp"] = int(d.get("dhcp", 0))
        e["FirmwareRev"] = d.get("firmware", "1.0") or "N/A"
        e["HTTPPort"], e["TelnetPort"] = port(d.get("http_port", 80)), port(d.get("telnet_port", 23))
        e["CanSetDefault"] = e["CanRestart"] = True
        e["TypeName"] = orvex_names.get(e["TypeCode"], "")
        e["Family"] = "Orvex"
    e["IPConflict"] = False  # every device of the shipped fleet has an address of its own
    e["Line"] = (pad(e["TypeName"], 20) + " " + pad(e["Name"], 28) + " " + pad(e["MAC"], 17) + "   "
                 + pad(e["PeerIP"], 15) + "   " + e["FirmwareRev"])
    return e

want = [expected(d) for d in fleet if not d.get("faults", {}).get("silent")]
keys = ["TypeCode", "TypeName", "MAC", "Name", "PeerIP", "IP", "Mask", "Gateway", "DNS1", "DNS2", "Dhcp",
        "FirmwareRev", "HTTPPort", "TelnetPort", "CanSetDefault", "CanRestart", "Family", "Line", "IPConflict"]
errors = []
for f in found:
    if sorted(f.keys()) != sorted(keys):  # JSON keys come in alphabetical order
        errors.append("keys of %s: %s" % (f.get("MAC"), list(f.keys())))
by_mac = {(f["Family"], f["MAC"]): f for f in found}
for w in want:
    f = by_mac.get((w["Family"], w["MAC"]))
    if f is None:
        errors.append("not found: %s %s" % (w["Family"], w["MAC"]))
        continue
    for k in keys:
        if f[k] != w[k]:
            errors.append("%s %s: %r, expected %r" % (w["MAC"], k, f[k], w[k]))
if len(found) != len(want):
    errors.append("%d devices listed, %d in the fleet" % (len(found), len(want)))
# Listed in DeviceList order: by line, letter case aside.
lines = [f["Line"] for f in found]
if lines != sorted(lines, key=str.casefold):
    errors.append("not in list order:\n  " + "\n  ".join(lines))
if errors:
    print("\n".join(errors), file=sys.stderr)
    sys.exit(1)
print("shipped fleet: %d devices match" % len(found))
EOF

# --- 2. Repeated, late and rejected answers -------------------------------------------------
cat >"$work/faults.json" <<'EOF'
[
 {"family": "Orvex", "mac": "00:0A:14:00:00:01", "name": "Twice", "ip": "10.77.3.1", "type": 3,
  "faults": {"twice": true}},
 {"family": "HWG", "mac": "00:0A:59:00:00:02", "name": "Twice too", "ip": "10.77.3.2", "type": 3,
  "faults": {"twice": true}},
 {"family": "Orvex", "mac": "00:0A:14:00:00:03", "name": "Late", "ip": "10.77.3.3", "type": 1,
  "faults": {"late_ms": 1200}},
 {"family": "HWG", "mac": "00:0A:59:00:00:04", "name": "Forged", "ip": "10.77.3.4", "type": 3,
  "faults": {"corrupt_mac": true}},
 {"family": "HWG", "mac": "00:0A:59:00:00:05", "name": "Confused", "ip": "10.77.3.5", "type": 3,
  "faults": {"type_mismatch": true}},
 {"family": "HWG", "mac": "00:0A:59:00:00:06", "name": "Chatty", "ip": "10.77.3.6", "type": 3,
  "faults": {"oversized": true}},
 {"family": "Orvex", "mac": "00:0A:14:00:00:07", "name": "Quiet", "ip": "10.77.3.7", "type": 3,
  "faults": {"silent": true}}
]
EOF
"$ROOT/scripts/lab.sh" --fleet "$work/faults.json" -- \
  "$work/pyxet-cli" find --wait 2.5 --log >"$work/lines.txt" 2>"$work/log.txt"

listed=$(cut -c22-49 "$work/lines.txt" | sed 's/ *$//' | sort | tr '\n' ',')
[ "$listed" = "Late,Twice,Twice too," ] || fail "listed [$listed], expected Late, Twice, Twice too"
for name in "Twice" "Twice too"; do
  n=$(grep -c -x "INFO	Found $name device at 10.77.3.[12]" "$work/log.txt" || true)
  [ "$n" -eq 2 ] || fail "\"Found $name\" logged $n times, expected 2"
done
n=$(grep -c -x "DEBUG	Product was added: Relay Four" "$work/log.txt" || true)
[ "$n" -eq 2 ] || fail "\"Product was added\" for the repeated Orvex answer logged $n times, expected 2"
grep -q -x "DEBUG	Error verify packet from 10.77.3.4" "$work/log.txt" || fail "forged answer not reported"
grep -q -x "DEBUG	Error device type at 10.77.3.5" "$work/log.txt" || fail "type mismatch not reported"
grep -q "10.77.3.[67]" "$work/log.txt" && fail "an oversized or silent device left a trace in the log"
echo "repeated, late and rejected answers: ok"

# --- 3. No socket ----------------------------------------------------------------------------
# Lower the open-file limit step by step: at some limit the program starts but cannot open its
# sockets. It must then say so and exit 2, never list anything or claim success.
seen=0
for limit in $(seq 3 16); do
  rc=0
  # The subshell keeps the shell's own "Aborted" notice (too few files to start at all) quiet.
  ( "$ROOT/tests/netns.sh" bash -c 'ulimit -n $0; exec "$1" find --wait 0' "$limit" "$work/pyxet-cli" \
    >"$work/out.txt" 2>"$work/err.txt"; exit $? ) 2>/dev/null || rc=$?
  if grep -q "cannot open a UDP socket" "$work/err.txt"; then
    [ "$rc" -eq 2 ] || fail "socket failure exited $rc at limit $limit"
    [ ! -s "$work/out.txt" ] || fail "socket failure printed devices"
    seen=1
  fi
done
[ "$seen" -eq 1 ] || fail "no open-file limit made the sockets fail"
echo "no socket: ok"
