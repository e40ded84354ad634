#!/usr/bin/env bash
# pyxet-cli history, diff, drift and restore --dry-run / --keep-identity against the simulated
# devices of tests/lab/configs_fleet.json (six Orvex devices that follow their configured address:
# one serving windows-1250, one whose configuration changes at every download, one whose file is
# not well-formed):
#  1. a backup twice unchanged keeps one history version, a change gives a second; a device that
#     changes by itself gets a version per backup;
#  2. diff of files, devices and history versions, identity places marked, and its exit statuses;
#  3. restore --dry-run of a common file that carries an address shows the address change and
#     writes nothing; with --keep-identity every device keeps its address and name (discovery and
#     download) while the common values arrive;
#  4. a restore from a history version;
#  5. drift of the fleet: one group that matches, two that differ, one device unreadable; and its
#     exit statuses;
#  6. the same common file without --keep-identity really moves a device.
# Usage: test_cli_configs.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_cli_configs.sh BIN_DIR}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/checks.sh"
cli_lab_work
status() { cat "$work/$1.rc"; }
out() { cat "$work/$1.out"; }

cat >"$work/steps.sh" <<'EOF'
cd "$1"
source ./cli_steps.sh
mark() { wc -l <"$PYXET_LAB_EVENTS" >"$1.mark"; }
A=02:53:00:00:00:01
# 1. history
run backup1 backup 10.77.6.1
run backup2 backup 10.77.6.1
run history1 history $A --json
curl -s http://10.77.6.1/setup.xml | sed 's|<community>public</community>|<community>night</community>|' >changed.xml
run load load 10.77.6.1 changed.xml
run backup3 backup 10.77.6.1
run history2 history $A --json
run historytext history 02-53-00-00-00-01
run counter1 backup 10.77.6.4
run counter2 backup 10.77.6.4
run historycounter history 02:53:00:00:00:04 --json
run historynone history 02:53:00:00:00:99
run historybad history 02:53:00:00
# 2. diff
curl -s http://10.77.6.1/setup.xml >one.xml
python3 - <<'PY'
import re
text = open("one.xml", encoding="utf-8").read()
# Other indentation, attribute order, line ends and no comment: the same configuration.
text = re.sub(r"<!--.*?-->", "", text)
text = text.replace("\n    ", "\r\n\t\t").replace('id="1" unit="°C"', 'unit="°C" id="1"')
open("one-again.xml", "w", encoding="utf-8", newline="").write(text)
open("broken.xml", "w").write("<setup>\n  <a>\n</setup>\n")
PY
run diffsame diff one.xml one-again.xml
run diffdevices diff device:10.77.6.1 device:10.77.6.2 --json
run difftext diff device:10.77.6.1 device:10.77.6.3
run diffversions diff history:$A@2 history:$A@1 --json
run diffbroken diff one.xml broken.xml
run diffbrokendevice diff one.xml device:10.77.6.6
run diffnobody diff one.xml device:10.77.9.9
run diffmissing diff one.xml no-such.xml
run diffnoversion diff one.xml history:$A@9
run diffusage diff one.xml
ls history/025300000001 history/025300000003 history/025300000002 2>/dev/null | grep -c xml >versions-after-diff.txt
# 3. the common file: device 1's with another community, its address and name in it.
sed 's|<community>night</community>|<community>site-7</community>|' one.xml >common.xml
mark dryrun
run dryrun restore 10.77.6.2 10.77.6.3 --file common.xml --dry-run
mark keep
run keep restore 10.77.6.2 10.77.6.3 --file common.xml --keep-identity --log
mark keepend
sleep 1
run findkeep find --json --wait 1
curl -s http://10.77.6.2/setup.xml >after2.xml
curl -s http://10.77.6.3/setup.xml >after3.xml
# 4. restore from the oldest version of device 1 (community public again)
oldest=$(python3 -c 'import json; print(json.load(open("history2.out"))[-1]["version"])')
run restorehistory restore 10.77.6.1 --file "history/025300000001/$oldest.xml"
curl -s http://10.77.6.1/setup.xml >restored1.xml
# 5. drift
run drift drift --reference device:10.77.6.1 --all --wait 1 --jobs 4 --json
run drifttext drift --reference device:10.77.6.1 --all --wait 1
run driftsame drift --reference history:$A 10.77.6.1
run driftnobody drift --reference one.xml 10.77.9.9 10.77.9.8
run driftbadref drift --reference broken.xml 10.77.6.1
run driftusage drift --reference one.xml
# 6. without --keep-identity the common file moves device 5 to device 1's address and name
run plain restore 10.77.6.5 --file common.xml
sleep 1.5
run findplain find --json --wait 1
EOF
"$ROOT/scripts/lab.sh" --fleet "$HERE/configs_fleet.json" --events "$work/events.jsonl" --local 10.77.0.0/16 -- \
  bash "$work/steps.sh" "$work"

# Statuses.
for step in backup1 backup2 load backup3 history1 history2 historytext counter1 counter2 historycounter diffsame \
            dryrun keep restorehistory driftsame plain; do
  check "$step: exit status" 0 "$(status $step)"
done
for step in historynone diffdevices difftext diffversions drift drifttext; do
  check "$step: exit status" 1 "$(status $step)"
done
for step in historybad diffbroken diffbrokendevice diffmissing diffnoversion diffusage driftbadref driftusage; do
  check "$step: exit status" 2 "$(status $step)"
done
for step in diffnobody driftnobody; do
  check "$step: exit status" 3 "$(status $step)"
done
contains "a file that is not well-formed: its line named" "line 3" "$work/diffbroken.err"
contains "a file that is not well-formed: its column named" "column" "$work/diffbroken.err"
contains "a device's file that is not well-formed: its line named" "line" "$work/diffbrokendevice.err"
check "diff of equal files prints nothing" "" "$(out diffsame)"
check "diff, drift and the previews wrote nothing into backup/" "setup_10.77.6.1_.xml setup_10.77.6.4_.xml" \
  "$(ls "$work/backup" | tr '\n' ' ' | sed 's/ $//')"

python3 - "$work" "$HERE" <<'PY' || failures=$((failures + 1))
import json, os, sys
sys.path.insert(0, sys.argv[2])
from labchecks import errors, events, expect, finish, load, path, since, text

# 1. history: unchanged twice is one version, a change is a second, newest first.
expect("one version after two equal backups", len(load("history1.out")), 1)
h2 = load("history2.out")
expect("two versions after a change", len(h2), 2)
expect("history fields", sorted(h2[0]), ["changes", "size", "time", "version"])
expect("the newer version's changes", h2[0]["changes"], 1)
expect("sizes", all(v["size"] > 500 for v in h2), True)
expect("newest first", h2[0]["version"] > h2[1]["version"], True)
lines = text("historytext.out").splitlines()
expect("history as text: a line a version", [l.split("\t")[0] for l in lines], [v["version"] for v in h2])
expect("a configuration that changes by itself: a version per backup", len(load("historycounter.out")), 2)

# 2. diff: identity places marked, equal files equal.
d = load("diffdevices.out")
expect("diff fields", sorted(d[0]), ["identity", "kind", "left", "path", "right"])
marked = sorted(x["path"] for x in d if x["identity"])
expect("identity places of two devices", marked, ["/setup/device/mac", "/setup/device/name", "/setup/network/ip"])
expect("else only the community device 1 was given", [(x["path"], x["left"], x["right"]) for x in d if not x["identity"]],
       [("/setup/snmp/community", "night", "public")])
ip = [x for x in d if x["path"] == "/setup/network/ip"][0]
expect("the address", (ip["kind"], ip["left"], ip["right"]), ("changed", "10.77.6.1", "10.77.6.2"))
t = [l.split("\t") for l in text("difftext.out").splitlines()]
name = [l for l in t if l[0] == "/setup/device/name"]
expect("the windows-1250 device's name as text, marked", name, [["/setup/device/name", "changed", "Kotel č. 1", "Brána", "identity"]])
v = load("diffversions.out")
expect("two history versions", [(x["path"], x["left"], x["right"], x["identity"]) for x in v],
       [("/setup/snmp/community", "public", "night", False)])

# 3. the preview writes nothing; --keep-identity keeps each device's address and name.
dry = text("dryrun.out")
expect("the preview shows the address change", "10.77.6.2 → 10.77.6.1" in dry and "10.77.6.3 → 10.77.6.1" in dry, True)
expect("the preview shows the name change", "Sklad → Kotel č. 1" in dry, True)
expect("the preview sent nothing", [e for e in since("dryrun", "keep") if e["event"] == "http" and e["method"] == "POST"], [])
gets = [e["device"] for e in since("dryrun", "keep") if e["event"] == "http" and e["method"] == "GET"]
expect("the preview downloaded both", sorted(gets), ["02:53:00:00:00:02", "02:53:00:00:00:03"])
posts = [e for e in since("keep", "keepend") if e["event"] == "http" and e["method"] == "POST"]
expect("keep: both written", sorted(e["device"] for e in posts), ["02:53:00:00:00:02", "02:53:00:00:00:03"])
expect("keep: nothing restarted", [e for e in since("keep") if e["event"] == "restart" and e["device"] != "02:53:00:00:00:05"], [])
found = {x["MAC"]: x for x in load("findkeep.out")}
for mac, ip, name in [("02:53:00:00:00:02", "10.77.6.2", "Sklad"), ("02:53:00:00:00:03", "10.77.6.3", "Brána")]:
    expect(mac + " answers discovery at its address", (found[mac]["PeerIP"], found[mac]["IP"], found[mac]["Name"]), (ip, ip, name))
for n, ip, name in [("2", "10.77.6.2", "Sklad"), ("3", "10.77.6.3", "Brána")]:
    body = text("after%s.xml" % n)
    expect("device %s: the common value arrived" % n, "<community>site-7</community>" in body, True)
    expect("device %s: its own address and name kept" % n, ("<ip>%s</ip>" % ip in body, "<name>%s</name>" % name in body), (True, True))
expect("the log names the version before each write", text("keep.err").count("history") >= 2, True)

# 4. a restore from history
expect("restored from the oldest version", "<community>public</community>" in text("restored1.xml"), True)

# 5. drift in three groups and the unreadable device
dr = load("drift.out")
groups = [(sorted(m["mac"] for m in g["devices"]), [(x["path"], x["reference"], x["device"]) for x in g["differences"]])
          for g in dr["groups"]] + [([], [])] * 3
expect("drift groups", groups[0], (["02:53:00:00:00:01", "02:53:00:00:00:05"], []))
expect("drift: the community group", groups[1],
       (["02:53:00:00:00:02", "02:53:00:00:00:03"], [("/setup/snmp/community", "public", "site-7")]))
expect("drift: the counter group", (groups[2][0], [p for p, _, _ in groups[2][1]]),
       (["02:53:00:00:00:04"], ["/setup/status/counter"]))
expect("drift: three groups", len(dr["groups"]), 3)
expect("drift: unreadable", [(u["mac"], u["host"], "line" in u["error"]) for u in dr["unreadable"]],
       [("02:53:00:00:00:06", "10.77.6.6", True)])
dt = text("drifttext.out")
for heading in ["2 match", "2 differ in /setup/snmp/community", "1 differs in /setup/status/counter", "1 could not be read"]:
    expect("drift as text: " + heading, heading in dt.splitlines(), True)

# 6. without --keep-identity the device took the file's address and name
moved = [x for x in load("findplain.out") if x["MAC"] == "02:53:00:00:00:05"]
expect("the common file moved device 5", [(x["IP"], x["Name"]) for x in moved], [("10.77.6.1", "Kotel č. 1")])

finish()
PY
finish_checks
