#!/usr/bin/env bash
# pyxet-cli upgrade as a rollout against the simulated devices of tests/lab/cli_rollout_fleet.json
# (Orvex devices restarting in 300 ms; images of the simulator's form, revision 2.0):
#  a. a first unit whose flash fails halts the batch: no other unit receives a body;
#  b. waves of three where two of the first wave fail: the batch halts, the rest "not started";
#  c. units already current are skipped, taught by the first unit and typed with
#     --image-revision, each kind by its own revision; a batch of units all current sends nothing;
#  d. --backup-first reports a configuration the upgrade changed, with its paths;
#  e. kill -9 in the middle of a 20-unit batch of slow devices, then --resume finishes the rest
#     and no unit takes the image twice;
#  f. a unit away for its first 40 s is upgraded by a retry (short waits);
#  g. the kinds line on standard error, --one-kind refusing mixed kinds; the journal's file, the
#     refusals of a journal that cannot be written or resumed, and wrong values.
# Usage: test_cli_rollout.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_cli_rollout.sh BIN_DIR}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/checks.sh"
cli_lab_work
status() { cat "$work/$1.rc"; }

cat >"$work/steps.sh" <<'EOF'
cd "$1"
source ./cli_steps.sh
mark() { wc -l <"$PYXET_LAB_EVENTS" >"$1.mark"; }
{ printf 'PYXET-SIM-FIRMWARE 2.0\n'; head -c 3900 /dev/zero | tr '\0' 'x'; } >image.kri
H=10.77.31
# f. first, in the background: the unit away for the simulator's first 40 s is tried at once,
# then after 20 s (still away), then after 20 s more.
PYXET_RETRY_SECONDS=20 PYXET_HTTP_LIMITS=3,1,30,30 \
  ./pyxet-cli upgrade image.kri $H.71 $H.72 --retries 3 --journal away.json --json --log >away.out 2>away.err &
away=$!
run find find --json --wait 1
# a.
mark a
run first upgrade image.kri $H.1 $H.2 $H.3 --first 1 --jobs 3 --json --log
mark b
run wave upgrade image.kri $H.11 $H.12 $H.13 $H.14 $H.15 $H.16 --wave 3 --halt-after 2 --jobs 3 --log
mark c
run taught upgrade image.kri $H.21 $H.22 $H.23 --first 1 --skip-current --journal taught.json --json
mark current
run current upgrade image.kri $H.21 $H.22 --skip-current --image-revision 2.0
mark typed
run typed upgrade image.kri $H.31 $H.32 $H.33 $H.34 --first 1 --skip-current --image-revision 1.5 --json
mark d
cp image.kri image-d.kri
run config upgrade image-d.kri $H.41 $H.42 --backup-first --verify 20 --journal config.json --json
mark e
slow=""
for i in $(seq 1 20); do slow="$slow 10.77.32.$i"; done
./pyxet-cli upgrade image.kri $slow --jobs 2 --journal slow.json --json >killed.out 2>killed.err &
killed=$!
python3 - <<'PY' >sent-before-kill.txt
import json, time
deadline = time.time() + 60
while time.time() < deadline:
    try:
        units = json.load(open("slow.json"))["units"]
    except (OSError, ValueError, KeyError):
        units = []
    sent = [u for u in units if u["state"] in ("sent", "verified", "upgraded")]
    if len(sent) >= 3:
        break
    time.sleep(0.02)
print(len(sent))
PY
kill -9 $killed
{ wait $killed; } 2>/dev/null
echo $? >killed.rc
cp slow.json slow-at-kill.json
# The bodies already on their way still arrive (the kernel sends what the killed process left in
# its sockets) and the units that take them restart: the resume comes once every request has
# ended and every restart is over.
python3 - <<'PY'
import json, os, time
deadline = time.time() + 30
while time.time() < deadline:
    events = [json.loads(l) for l in open(os.environ["PYXET_LAB_EVENTS"])]
    count = lambda kind: sum(e["event"] == kind for e in events)
    if count("http_open") == count("http_close") and count("restart") == count("restarted"):
        break
    time.sleep(0.05)
PY
run resume upgrade --resume slow.json --wait 1 --json --log
# The finished journal with one more unit, of a MAC nobody has: only that one is "not found".
python3 - <<'PY'
import json
journal = json.load(open("slow.json"))
unit = dict(journal["units"][0], mac="02:31:00:00:00:99", address="10.77.33.1", state="not started", reason="")
journal["units"].append(unit)
json.dump(journal, open("missing.json", "w"), indent=1)
PY
mark missing
run missing upgrade --resume missing.json --wait 1
mark g
run onekind upgrade image.kri $H.81 $H.82 --one-kind
mark gend
run resumehost upgrade --resume slow.json $H.81
run resumebroken upgrade --resume image.kri
printf 'x' >>image-d.kri
run resumechanged upgrade --resume config.json
run nojournal upgrade image.kri $H.81 --first 1 --journal no-such-folder/j.json
mark plain
run plainnojournal upgrade image.kri $H.81 --journal no-such-folder/j.json
run badfirst upgrade image.kri $H.81 --first 101
run badrevision upgrade image.kri $H.81 --image-revision 2.0
run badhalt upgrade image.kri $H.81 --halt-after 2
wait $away
echo $? >away.rc
EOF
"$ROOT/scripts/lab.sh" --fleet "$HERE/cli_rollout_fleet.json" --events "$work/events.jsonl" -- \
  bash "$work/steps.sh" "$work"

for step in taught current typed config resume plainnojournal away; do
  check "$step: exit status" 0 "$(status $step)"
done
for step in first wave missing; do
  check "$step: exit status" 1 "$(status $step)"
done
for step in onekind resumehost resumebroken resumechanged nojournal badfirst badrevision badhalt; do
  check "$step: exit status" 2 "$(status $step)"
done
check "the killed batch ended by SIGKILL" 137 "$(status killed)"
contains "a halted wave: the halt named in the log" "Halted: 2 of 3 failed in wave 1" "$work/wave.err"
contains "--one-kind names why" "more than one kind" "$work/onekind.err"
contains "a journal that is no journal is refused naming why" "pyxet-cli: --resume: " "$work/resumebroken.err"
contains "an image that changed is refused" "pyxet-cli: --resume: " "$work/resumechanged.err"
contains "a rollout's journal that cannot be written" "a rollout does not start without it" "$work/nojournal.err"
contains "a plain upgrade's journal that cannot be written: a warning" "warning: cannot write the journal: " \
  "$work/plainnojournal.err"
contains "--first out of range" "--first: takes a number from 0 to 100" "$work/badfirst.err"
contains "--image-revision alone" "--image-revision: goes with --skip-current" "$work/badrevision.err"
contains "--halt-after alone" "--halt-after: goes with --first or --wave" "$work/badhalt.err"
contains "the retries are logged" "Trying 1 device again (round 1 of 3)..." "$work/away.err"

python3 - "$work" "$HERE" <<'PY' || failures=$((failures + 1))
import json, os, re, sys
sys.path.insert(0, sys.argv[2])
from labchecks import errors, events, expect, finish, load, path, since, text
def uploads(evs, macs=None):
    return [e["device"] for e in evs if e["event"] == "http" and e.get("path") == "/upload"
            and (macs is None or e["device"] in macs)]
def taken(evs):
    return [e["device"] for e in evs if e["event"] == "http" and e.get("path") == "/upload" and e.get("image") == "taken"]
def mac(n): return "02:31:00:00:00:%02X" % n
def states(rows): return [(r["host"], r["state"]) for r in rows]
H = "10.77.31."
found = {d["MAC"]: d for d in load("find.out")}
type1, type2 = found[mac(0x21)]["TypeName"], found[mac(0x33)]["TypeName"]

# The rows: every unit, with its MAC, family and type.
rows = load("first.out")
expect("a row's keys", sorted(rows[0]), ["config", "error", "family", "firmware_after", "firmware_before", "host", "mac", "ok", "reason", "state",
        "type"])
expect("a row's device", (rows[1]["mac"], rows[1]["family"], rows[1]["type"]), (mac(2), "Orvex", type1))
expect("a row's configuration check", rows[0]["config"], {"check": "none", "paths": [], "before": None, "after": None})

# a. the first unit failed; nobody else received a body.
expect("first: states", states(rows), [(H + "1", "failed"), (H + "2", "not started"), (H + "3", "not started")])
expect("first: only the first unit was sent a body", uploads(since("a", "b"), [mac(n) for n in (1, 2, 3)]), [mac(1)])
named = [l.split("journal ", 1)[1] for l in text("first.err").splitlines() if l.startswith("pyxet-cli: upgrade: journal ")]
expect("first: its journal in backup/, named on standard error",
       [bool(re.fullmatch(r"backup/upgrade-\d{8}T\d{6}Z(-\d+)?\.json", n)) and os.path.isfile(path(n)) for n in named],
       [True])
expect("first: the journal's units", [(u["mac"], u["state"]) for u in load(named[0])["units"]] if named else [],
       [(mac(1), "failed"), (mac(2), "not started"), (mac(3), "not started")])

# b. the first wave's two failures halted the batch.
lines = [l.split("\t") for l in text("wave.out").splitlines()]
expect("wave: a line a unit", [l[:2] for l in lines],
       [[H + "11", "ok"], [H + "12", "failed"], [H + "13", "failed"], [H + "14", "not started"],
        [H + "15", "not started"], [H + "16", "not started"]])
expect("wave: the kinds line", "pyxet-cli: upgrade: 6 devices: %s ×6" % type1 in text("wave.err").splitlines(), True)
expect("wave: no body after the halt", sorted(uploads(since("b", "c"), [mac(0x11 + n) for n in range(6)])), [mac(0x11), mac(0x12), mac(0x13)])

# c. skipped, taught and typed, within the kind.
t = load("taught.out")
expect("taught: states", states(t), [(H + "21", "verified"), (H + "22", "skipped"), (H + "23", "verified")])
expect("taught: why skipped", t[1]["reason"], "Already at 2.0")
expect("taught: skipped counts as ok", [r["ok"] for r in t], [True, True, True])
expect("current: units already at the typed revision, as text", text("current.out").splitlines(),
       [H + "21\tskipped\tAlready at 2.0", H + "22\tskipped\tAlready at 2.0"])
expect("current: nothing sent", uploads(since("current", "typed"), [mac(0x21), mac(0x22)]), [])
y = load("typed.out")
expect("typed: 1.5 skips the other kind, the first unit's 2.0 its own kind",
       states(y), [(H + "31", "verified"), (H + "32", "verified"), (H + "33", "skipped"), (H + "34", "verified")])
expect("typed: the revisions", [(r["firmware_before"], r["firmware_after"]) for r in y],
       [("1.0", "2.0"), ("1.5", "2.0"), (None, None), ("1.0", "2.0")])
expect("skipped units received nothing", [m for m in uploads(since("c", "d")) if m in (mac(0x22), mac(0x33))], [])
expect("typed: the mixed kinds warned of", "more than one kind" in text("typed.err"), True)

# d. the configuration changed by the upgrade, and the one kept.
c = load("config.out")
expect("config: checks", [(r["state"], r["config"]["check"], r["config"]["paths"]) for r in c],
       [("verified", "changed", ["/setup/snmp/community"]), ("verified", "kept", [])])
for r in c:
    expect("config: the files compared exist", all(f is not None and (os.path.isfile(path(f)) or os.path.isfile(f))
                                                   for f in (r["config"]["before"], r["config"]["after"])), True)

# e. killed in the middle, resumed: every unit took the image exactly once.
slow = ["02:31:00:00:00:%02X" % (0x51 + i) for i in range(20)]
at_kill = load("slow-at-kill.json")["units"]
expect("e: the kill landed in the middle", int(text("sent-before-kill.txt")) >= 3
       and any(u["state"] in ("not started", "sending") for u in at_kill), True)
counts = {m: 0 for m in slow}
for m in taken(since("e", "g")):
    if m in counts:
        counts[m] += 1
expect("e: images taken per unit", sorted(set(counts.values())), [1])
r = load("resume.out")
expect("e: the resume's rows", [(x["mac"], x["state"] in ("verified", "upgraded")) for x in r], [(m, True) for m in slow])
expect("e: the journal continued", sorted({u["state"] for u in load("slow.json")["units"]}) <= ["upgraded", "verified"], True)

m = text("missing.out").splitlines()
expect("e: a unit the resume did not find, as text", (len(m), m[-1]), (21, "02:31:00:00:00:99\t\tnot found"))
expect("e: the units done are not sent again", uploads(since("missing", "g"), slow), [])

# f. the unit away was reached by a retry after its 40 s.
a = load("away.out")
expect("f: both upgraded", [(x["host"], x["ok"]) for x in a], [(H + "71", True), (H + "72", True)])
t_away = [e["t"] for e in events if e["event"] == "http" and e["device"] == mac(0x71) and e.get("path") == "/upload"]
expect("f: the away unit took one body, after 40 s", (len(t_away), all(t >= 40 for t in t_away)), (1, True))

# g. --one-kind: the kinds line, nothing sent.
expect("onekind: the kinds line",
       "pyxet-cli: upgrade: 2 devices: %s ×1, %s ×1" % (type1, type2) in text("onekind.err").splitlines(), True)
expect("onekind: nothing sent", uploads(since("g", "gend"), [mac(0x81), mac(0x82)]), [])
expect("a rollout without its journal sent nothing", uploads(since("gend", "plain"), [mac(0x81)]), [])

finish()
PY
finish_checks
