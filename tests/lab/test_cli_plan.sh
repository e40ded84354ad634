#!/usr/bin/env bash
# pyxet-cli plan make, apply and undo against the simulated devices:
#  1. the forty devices of plan_fleet.json (both families, all answering from one factory
#     address): a plan of consecutive addresses and numbered names, applied and verified, each
#     device updated once (the simulator's events); a new discovery finds them at their new
#     addresses with their new names;
#  2. the undo file brings every device back to its old values, the shared factory address too;
#  3. a device that refuses its command and one that never answers it are reported, the others
#     are still set up and verified;
#  4. a plan that gives two devices one address sends nothing, nor does --dry-run;
#  5. a plan file that cannot be read (the line named), one whose devices are all absent, and
#     wrong command lines.
# Usage: test_cli_plan.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_cli_plan.sh BIN_DIR}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
export PYXET_BIN=$BIN LC_ALL=C.UTF-8
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
source "$HERE/checks.sh"

english_cli "$work"
TAB=$'\t'
status() { cat "$work/$1.rc"; }
out() { cat "$work/$1.out"; }

# --- 1. and 2.: forty devices on one factory address --------------------------------------
# The fleet's forty devices at 10.77.200.1 are chosen by their MAC addresses; they move to
# 10.77.9.1 onwards (made reachable by --local) and come back.
cat >"$work/forty.sh" <<'EOF'
cd "$1"
source ./cli_steps.sh
mark() { wc -l <"$PYXET_LAB_EVENTS" >"$1.mark"; }
run find0 find --json --wait 1
macs=$(python3 -c 'import json; print(" ".join(d["MAC"] for d in json.load(open("find0.out")) if d["PeerIP"] == "10.77.200.1"))')
run make40 plan make $macs --ip-from 10.77.9.1 --name "Unit ##" --wait 1
mark apply40
run apply40 plan apply make40.out --verify 30 --wait 1 --save-undo undo40.csv --log
mark apply40_end
run after40 find --json --wait 1
mark undo40
run undo40 plan undo undo40.csv --verify 30 --wait 1
mark undo40_end
run back40 find --json --wait 1
ls backup >backup.list
EOF
"$ROOT/scripts/lab.sh" --fleet "$HERE/plan_fleet.json" --events "$work/forty.jsonl" --local 10.77.9.0/24 -- \
  bash "$work/forty.sh" "$work"

check "forty: make" 0 "$(status make40)"
check "forty: apply" 0 "$(status apply40)"
check "forty: undo" 0 "$(status undo40)"
contains "forty: the undo file logged" "INFO${TAB}The values before the plan were written to undo40.csv." "$work/apply40.err"
contains "forty: the undo file named" "Undo file: undo40.csv" "$work/apply40.out"
check "forty: the undo's own undo file in backup/" 1 "$(grep -c '^undo-[0-9]\{8\}-[0-9]\{6\}\.csv$' "$work/backup.list")"
python3 - "$work" <<'PY' || failures=$((failures + 1))
import csv, io, json, os, sys
work = sys.argv[1]
def path(name):
    return os.path.join(work, name)
def mark(name):
    return int(open(path(name + ".mark")).read())
def plan_rows(name):
    return list(csv.DictReader(io.open(path(name), newline="", encoding="utf-8")))
def results(name):
    # The lines after the preview's empty line: MAC, address, status.
    text = open(path(name)).read()
    return [line.split("\t") for line in text.split("\n\n", 1)[1].splitlines()] if "\n\n" in text else []
events = [json.loads(l) for l in open(path("forty.jsonl"))]
errors = []
def expect(what, got, want):
    if got != want:
        errors.append("%s: %r, expected %r" % (what, got, want))

before = {d["MAC"]: d for d in json.load(open(path("find0.out"))) if d["PeerIP"] == "10.77.200.1"}
expect("devices on the factory address", len(before), 40)
expect("families", sorted({d["Family"] for d in before.values()}), ["HWG", "Orvex"])

plan = plan_rows("make40.out")
expect("plan: devices", sorted(r["MAC"] for r in plan), sorted(before))
expect("plan: addresses", [r["IP"] for r in plan], ["10.77.9.%d" % k for k in range(1, 41)])
orvex = [r for r in plan if r["Family"] == "Orvex"]
expect("plan: Orvex names", [r["Name"] for r in orvex], ["Unit %02d" % k for k in range(1, len(orvex) + 1)])
expect("plan: HWG names kept", [r["Name"] for r in plan if r["Family"] == "HWG"],
       [before[r["MAC"]]["Name"] for r in plan if r["Family"] == "HWG"])

# Applied and verified, each device updated once.
applied = results("apply40.out")
expect("apply: results in plan order", [r[0] for r in applied], [r["MAC"] for r in plan])
expect("apply: every device verified", [r for r in applied if r[1:] != ["10.77.200.1", "verified"]], [])
def commands(start, end):
    counts = {}
    for e in events[mark(start):mark(end)]:
        if e["event"] == "request" and e["kind"] != "info":
            key = (e["device"], e["kind"], e["outcome"])
            counts[key] = counts.get(key, 0) + 1
    return sorted(counts.items())
for step in ("apply40", "undo40"):
    expect(step + ": commands", commands(step, step + "_end"),
           sorted(((mac, "update" if before[mac]["Family"] == "Orvex" else "command", "done"), 1) for mac in before))

# Found at their new addresses with their new names.
after = {d["MAC"]: d for d in json.load(open(path("after40.out")))}
for r in plan:
    d = after.get(r["MAC"], {})
    expect("after apply: " + r["MAC"], [d.get("Name"), d.get("IP"), d.get("PeerIP")], [r["Name"], r["IP"], r["IP"]])

# The undo file: the old values of all forty; undone and verified, the devices are as before.
undo = plan_rows("undo40.csv")
expect("undo file: devices", sorted(r["MAC"] for r in undo), sorted(before))
expect("undo: every device verified", [r for r in results("undo40.out") if r[2:] != ["verified"]], [])
back = {d["MAC"]: d for d in json.load(open(path("back40.out")))}
for mac, d in before.items():
    fields = ("Name", "IP", "PeerIP", "Mask", "Gateway", "HTTPPort")
    expect("after undo: " + mac, [back.get(mac, {}).get(k) for k in fields], [d[k] for k in fields])
if errors:
    print("\n".join(errors[:20]), file=sys.stderr)
    sys.exit(1)
PY

# --- 3. to 5.: a small fleet -----------------------------------------------------------------
cat >"$work/small.json" <<'EOF'
[
 {"family": "Orvex", "mac": "00:0A:14:00:02:01", "name": "Hall", "ip": "10.77.20.1", "restart_ms": 300,
  "follow_ip": true},
 {"family": "Orvex", "mac": "00:0A:14:00:02:02", "name": "Stubborn", "ip": "10.77.20.2", "restart_ms": 300,
  "refuse_commands": 5},
 {"family": "Orvex", "mac": "00:0A:14:00:02:03", "name": "Deaf", "ip": "10.77.20.3", "restart_ms": 300,
  "faults": {"ignore_commands": true}},
 {"family": "Orvex", "mac": "00:0A:14:00:02:04", "name": "Kiosk", "ip": "10.77.20.4", "restart_ms": 300,
  "follow_ip": true},
 {"family": "HWG", "mac": "00:0A:59:00:02:01", "name": "Poseidon", "ip": "10.77.21.1", "dhcp": false,
  "restart_ms": 300, "follow_ip": true}
]
EOF
# Plans written by hand: two devices given one address; rows naming no device found; a file
# that is not UTF-8 on its third line; one without a MAC column.
printf 'MAC,Name,IP\r\n00:0A:14:00:02:01,,10.77.22.5\r\n00:0A:14:00:02:04,,10.77.22.5\r\n' >"$work/duplicate.csv"
printf 'MAC,Name\n00:0A:14:00:09:01,Nobody\n00-0a-14-00-09-02,Nobody else\n' >"$work/absent.csv"
printf 'MAC,Name\n00:0A:14:00:02:01,Hall\n00:0A:14:00:02:04,Kiosk \xff\n' >"$work/not_utf8.csv"
printf 'Name;IP\nHall;10.77.22.9\n' >"$work/no_mac.csv"

cat >"$work/small.sh" <<'EOF'
cd "$1"
source ./cli_steps.sh
mark() { wc -l <"$PYXET_LAB_EVENTS" >"$1.mark"; }
run make_small plan make --all --ip-from 10.77.22.1 --name "Unit #" --wait 0.5
mark dry
run dry plan apply make_small.out --dry-run --wait 0.5
run duplicate plan apply duplicate.csv --wait 0.5 --save-undo duplicate-undo.csv
mark dry_end
run not_utf8 plan apply not_utf8.csv --wait 0.5
run no_mac plan apply no_mac.csv --wait 0.5
run odd_path plan apply $'missing\e]0;x\\.csv' --wait 0.5
run absent plan apply absent.csv --wait 0.5 --json
run make_absent plan make 00:0A:14:00:09:01 --wait 0.5
# Wrong command lines.
run no_sub plan
run no_file plan apply
run two_files plan apply a.csv b.csv
run make_nothing plan make --wait 0.5
run make_both plan make --all 00:0A:14:00:02:01
run bad_dhcp plan make --all --dhcp 2
run bad_verify plan apply x.csv --verify 0
run make_json plan make --all --json
run apply_name plan apply x.csv --name X
# 3. The plan applied: two devices fail, the others are done.
mark small_apply
run small_apply plan apply make_small.out --verify 15 --wait 0.5 --json --log
mark small_apply_end
EOF
"$ROOT/scripts/lab.sh" --fleet "$work/small.json" --events "$work/small.jsonl" --local 10.77.22.0/24 -- \
  bash "$work/small.sh" "$work"

# The plan made for the small fleet: consecutive addresses from 10.77.22.1 in list order, names
# for the Orvex devices only.
check "make: status" 0 "$(status make_small)"
python3 - "$work" <<'PY' || failures=$((failures + 1))
import csv, io, os, sys
work = sys.argv[1]
rows = list(csv.DictReader(io.open(os.path.join(work, "make_small.out"), newline="", encoding="utf-8")))
errors = []
got = [(r["MAC"], r["Name"], r["IP"], r["Family"]) for r in rows]
macs = [r[0] for r in got]
if sorted(macs) != sorted(["00:0A:14:00:02:01", "00:0A:14:00:02:02", "00:0A:14:00:02:03", "00:0A:14:00:02:04",
                           "00:0A:59:00:02:01"]):
    errors.append("plan make: devices %r" % macs)
ips = [r[2] for r in got]
if ips != ["10.77.22.%d" % k for k in range(1, 6)]:
    errors.append("plan make: addresses %r" % ips)
names = [r[1] for r in got if r[3] == "Orvex"]
if names != ["Unit %d" % k for k in range(1, 5)]:
    errors.append("plan make: names %r" % names)
if [r[1] for r in got if r[3] == "HWG"] != ["Poseidon"]:
    errors.append("plan make: the HWG device's name changed")
if errors:
    print("\n".join(errors), file=sys.stderr)
    sys.exit(1)
PY

# --dry-run: the preview, one line a device, and nothing sent.
check "dry run: status" 0 "$(status dry)"
contains "dry run: preview line" "00:0A:14:00:02:01${TAB}" "$work/dry.out"
contains "dry run: name and address before and after" "10.77.20.1 -> 10.77.22." "$work/dry.out"
check "dry run: the preview only" 5 "$(wc -l <"$work/dry.out")"

check "plan with a refusing and a silent device: status" 1 "$(status small_apply)"

# 4. Two devices given one address: the preview names it, nothing is sent, no undo file.
check "duplicate: status" 1 "$(status duplicate)"
contains "duplicate: the problem" "Line 3, column 3: The address 10.77.22.5 is given to 00:0A:14:00:02:01 (Hall) too" \
  "$work/duplicate.out"
contains "duplicate: nothing sent" "blocking problem; nothing was sent" "$work/duplicate.err"
check "duplicate: no undo file" "" "$(ls "$work/duplicate-undo.csv" 2>/dev/null)"

# 5. Files that cannot be read, a plan of absent devices, wrong command lines.
check "not UTF-8: status" 2 "$(status not_utf8)"
contains "not UTF-8: the line" "Line 3, column 25: the text is not UTF-8" "$work/not_utf8.err"
check "not UTF-8: nothing on standard output" "" "$(out not_utf8)"
check "no MAC column: status" 2 "$(status no_mac)"
contains "no MAC column: the line" "Line 1: the plan has no MAC column" "$work/no_mac.err"
check "a file name with controls: status" 2 "$(status odd_path)"
check "a file name with controls: written out through SafeText" \
  "pyxet-cli: Cannot read the file missing\\x1B]0;x\\\\.csv: No such file or directory" "$(cat "$work/odd_path.err")"
check "absent: status" 3 "$(status absent)"
contains "absent: row named" "Line 3, column 1: No device with the MAC address 00-0a-14-00-09-02 was found" \
  "$work/absent.out"
check "make for an absent device: status" 3 "$(status make_absent)"
contains "make for an absent device: named" "no device answered as 00:0A:14:00:09:01" "$work/make_absent.err"
check "make for an absent device: nothing written" "" "$(out make_absent)"
for step in no_sub no_file two_files make_nothing make_both bad_dhcp bad_verify make_json apply_name; do
  check "$step: status" 2 "$(status "$step")"
  check "$step: nothing on standard output" "" "$(out "$step")"
  contains "$step: usage" "usage: pyxet-cli plan" "$work/$step.err"
done

python3 - "$work" <<'PY' || failures=$((failures + 1))
import json, os, sys
work = sys.argv[1]
events = [json.loads(l) for l in open(os.path.join(work, "small.jsonl"))]
def mark(name):
    return int(open(os.path.join(work, name + ".mark")).read())
errors = []
commands = [e for e in events[mark("dry"):mark("dry_end")]
            if e["event"] == "request" and e["kind"] != "info"]
if commands:
    errors.append("commands sent by a dry run or a blocked plan: %r" % commands)
absent = json.load(open(os.path.join(work, "absent.out")))
if absent["results"] is not None or absent["devices"] != [] or len(absent["problems"]) != 2:
    errors.append("absent plan as JSON: %r" % absent)

# 3. The device that refuses and the one that never answers are reported; the others are done.
applied = json.load(open(os.path.join(work, "small_apply.out")))
states = {r["mac"]: (r["state"], r["failed"]) for r in applied["results"]}
want = {"00:0A:14:00:02:01": ("verified", False), "00:0A:14:00:02:02": ("device_refused", True),
        "00:0A:14:00:02:03": ("no_answer", True), "00:0A:14:00:02:04": ("verified", False),
        "00:0A:59:00:02:01": ("verified", False)}
if states != want:
    errors.append("results of the plan: %r, expected %r" % (states, want))
refused = [r["status"] for r in applied["results"] if r["mac"] == "00:0A:14:00:02:02"]
if refused != ["refused by the device (error code 5)"]:
    errors.append("status of the refusing device: %r" % refused)
if [r["mac"] for r in applied["results"]] != [d["mac"] for d in applied["devices"]]:
    errors.append("results not in plan order")
sent = sorted((e["device"], e["kind"], e["outcome"]) for e in events[mark("small_apply"):mark("small_apply_end")]
              if e["event"] == "request" and e["kind"] != "info")
want_sent = [("00:0A:14:00:02:01", "update", "done"), ("00:0A:14:00:02:02", "update", "refused"),
             ("00:0A:14:00:02:03", "update", "ignored"), ("00:0A:14:00:02:04", "update", "done"),
             ("00:0A:59:00:02:01", "command", "done")]
if sent != want_sent:
    errors.append("commands of the plan: %r, expected %r" % (sent, want_sent))
if errors:
    print("\n".join(errors), file=sys.stderr)
    sys.exit(1)
PY

finish_checks
echo "pyxet-cli plan: ok"
