#!/usr/bin/env bash
# pyxet-cli watch and check against the simulated devices of tests/lab/watch_fleet.json (three
# Orvex units and an HWG unit: one gone from second 7 to 22 that comes back at a new address, one
# that reports a new firmware revision from second 13, one gone from second 7 for good):
#  1. watched at 5 s with --repeat 2 and one unit asked at its address: exactly the expected
#     events in order, nothing for the first round, and the request budget held (one broadcast
#     per family and interface in 5 s, its copies aside; one unicast request per round to the unit
#     found by unicast);
#  2. check against a site file with one unit that is not there: exit 1 and its missing line,
#     with --json too; an unreadable site file: exit 2; the window (gui_site_tests, offscreen)
#     opens the same site file without the watch: after a Find Devices cycle it lists the same
#     unit as missing, and its line counts the others;
#  3. --initial: a "new" line per unit of the first round; a wrong --seconds: exit 2; a sweep of
#     the targets longer than the interval goes on until it has reached the unit;
#  4. SIGINT and SIGTERM once the first lines are out: exit 0 at once, the output whole lines.
# Usage: test_cli_watch.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_cli_watch.sh BIN_DIR}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/checks.sh"
cli_lab_work
status() { cat "$work/$1.rc"; }

cat >"$work/steps.sh" <<'EOF2'
cd "$1"
source ./cli_steps.sh
mark() { wc -l <"$PYXET_LAB_EVENTS" >"$1.mark"; }
mark watch
run watch watch --seconds 5 --for 33 --repeat 2 --target 10.77.6.1
mark watchend
run find find --csv --wait 1
python3 - <<'PY'
rows = open("find.out", encoding="utf-8", newline="").read().split("\r\n")
rows = [r for r in rows if r]
out = [rows[0] + ",Expected,Note"] + [r + ",1," for r in rows[1:]]
# A unit that is not there: a row of one that is, with another MAC and name.
stays = [r for r in rows if "02:53:10:00:00:01" in r][0]
out.append(stays.replace("02:53:10:00:00:01", "02:53:10:00:00:09").replace("Stays", "Absent") + ",yes,north wall")
open("site.csv", "w", encoding="utf-8", newline="").write("\r\n".join(out) + "\r\n")
PY
run check check --site site.csv --wait 1
# The window's half, where the build has the windows.
if [ -x "$PYXET_BIN/gui_site_tests" ]; then
  PYXET_LAB_SITE="$1/site.csv" PYXET_LAB_WINDOW_OUT="$1/window.out" QT_QPA_PLATFORM=offscreen \
    "$PYXET_BIN/gui_site_tests" >window.log 2>&1
  echo $? >window.rc
else
  echo none >window.rc
fi
run checkjson check --site site.csv --wait 1 --json
run checkbad check --site no-such.csv --wait 1
run initial watch --seconds 5 --for 3 --initial
run badseconds watch --seconds 4
# A sweep longer than the interval: 16,384 routed addresses (about 8 s) before the unit's.
mark sweep
run sweep watch --seconds 5 --for 16 --target 10.90.0.0/18 --target 10.77.6.1
mark sweepend
# Stopped by a signal once its first lines are out; how long it took to end, in ms.
stopped() {
  ./pyxet-cli watch --seconds 5 --initial >"$1.out" 2>"$1.err" &
  local pid=$! i
  for i in $(seq 100); do [ -s "$1.out" ] && break; sleep 0.1; done
  local sent=$(date +%s%N)
  kill -"$2" "$pid"
  # One that does not stop is killed after 10 s (and fails on its status and its time).
  ( sleep 10; kill -KILL "$pid" 2>/dev/null ) &
  local guard=$!
  wait "$pid"
  echo $? >"$1.rc"
  echo $(( ($(date +%s%N) - sent) / 1000000 )) >"$1.ms"
  kill "$guard" 2>/dev/null
  wait "$guard" 2>/dev/null
}
stopped sigint INT
stopped sigterm TERM
EOF2
"$ROOT/scripts/lab.sh" --fleet "$HERE/watch_fleet.json" --events "$work/events.jsonl" --local 10.77.0.0/16 -- \
  bash "$work/steps.sh" "$work"

check "watch: exit status" 0 "$(status watch)"
check "check with a missing unit: exit status" 1 "$(status check)"
check "check --json: exit status" 1 "$(status checkjson)"
check "check with no site file: exit status" 2 "$(status checkbad)"
check "watch --initial: exit status" 0 "$(status initial)"
check "watch --seconds 4: exit status" 2 "$(status badseconds)"
check "watch with a long sweep: exit status" 0 "$(status sweep)"
for signal in sigint sigterm; do
  check "watch ended by $signal: exit status" 0 "$(status $signal)"
  check "watch ended by $signal: within 3 s" yes "$( [ "$(cat "$work/$signal.ms")" -lt 3000 ] && echo yes)"
done
contains "the unreadable site file is named" "no-such.csv" "$work/checkbad.err"
check "check: the missing line" "missing${TAB}02:53:10:00:00:09${TAB}Orvex${TAB}Absent" "$(cat "$work/check.out")"
# A build without the windows (PYXET_GUI=OFF) has no window half; any other build must run it.
if [ "$(status window)" = none ] && grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt" 2>/dev/null; then
  echo "no windows in this build: the window's half of the site check not run"
else
  check "the window's site test: exit status" 0 "$(status window)"
  [ "$(status window)" = 0 ] || cat "$work/window.log" >&2
  check "the window's site line" "site: 3 of 4 expected devices answered" "$(sed -n "s/^line${TAB}//p" "$work/window.out")"
  check "the window's missing rows are check's missing lines" "$(cat "$work/check.out")" "$(grep '^missing' "$work/window.out")"
fi

python3 - "$work" "$HERE" <<'PY' || failures=$((failures + 1))
import json, os, sys
sys.path.insert(0, sys.argv[2])
from labchecks import errors, events, expect, finish, load, path, since, text

lines = [json.loads(l) for l in text("watch.out").splitlines()]
expect("every line has the keys in order", {tuple(l) for l in lines},
       {("time", "event", "mac", "family", "name", "address", "old", "new")})
expect("times in UTC", all(l["time"].endswith("Z") and "T" in l["time"] for l in lines), True)
expect("the events in order", [(l["event"], l["mac"], l["old"], l["new"]) for l in lines], [
    ("firmware", "02:53:10:00:00:03", "1.0", "1.1"),
    ("gone", "02:53:10:00:00:02", "", ""),
    ("gone", "02:53:10:00:00:04", "", ""),
    ("back", "02:53:10:00:00:02", "", ""),
    ("address", "02:53:10:00:00:02", "10.77.6.2", "10.77.6.102"),
])
expect("the gone HWG unit's family", [l["family"] for l in lines if l["mac"] == "02:53:10:00:00:04"], ["HWG"])

# The budget, from the simulator's events of the watch.
watch_ev = [e for e in since("watch", "watchend") if e["event"] == "request" and e["kind"] == "info"]
for family in ("Orvex", "HWG"):
    first = {}  # each datagram once: a broadcast is logged by every device it reached
    for e in watch_ev:
        if e["family"] == family and e["broadcast"]:
            first.setdefault(e["datagram"], e["t"])
    # The copies of one request (--repeat 2) are 250 ms apart: one request.
    requests = []
    for t in sorted(first.values()):
        if not requests or t - requests[-1] > 1.0:
            requests.append(t)
    expect(family + ": a broadcast per round", 6 <= len(requests) <= 8, True)
    expect(family + ": at most one in 5 s", [b - a for a, b in zip(requests, requests[1:]) if b - a < 4.95], [])
    expect(family + ": two copies each", len(first), 2 * len(requests))
unicast = sorted({e["datagram"]: e["t"] for e in watch_ev
                  if not e["broadcast"] and e["device"] == "02:53:10:00:00:01"}.values())
expect("the unit found by unicast: one request a round", 5 <= len(unicast) <= 8, True)
expect("the unit found by unicast: at most one in 5 s", [b - a for a, b in zip(unicast, unicast[1:]) if b - a < 4.95], [])

# The sweep is not cut by the rounds that begin while it runs: it reaches the unit, which is then
# asked by unicast each round.
sweep_ev = [e for e in since("sweep", "sweepend") if e["event"] == "request" and e["kind"] == "info"]
swept = sorted({e["datagram"]: e["t"] for e in sweep_ev
                if not e["broadcast"] and e["device"] == "02:53:10:00:00:01"}.values())
expect("a sweep longer than the interval reaches its last address", len(swept) >= 1, True)
expect("the sweep's unit found by unicast: at most one in 5 s", [b - a for a, b in zip(swept, swept[1:]) if b - a < 4.95], [])

j = load("checkjson.out")
expect("check --json", [(x["kind"], x["mac"], x["family"], x["name"]) for x in j],
       [("missing", "02:53:10:00:00:09", "Orvex", "Absent")])
initial = [json.loads(l) for l in text("initial.out").splitlines()]
expect("--initial: a new line per unit", sorted((l["event"], l["mac"], l["address"]) for l in initial), [
    ("new", "02:53:10:00:00:01", "10.77.6.1"), ("new", "02:53:10:00:00:02", "10.77.6.102"),
    ("new", "02:53:10:00:00:03", "10.77.6.3")])
for name in ("sigint", "sigterm"):
    out = text(name + ".out")
    expect(name + ": whole lines", out.endswith("\n") and len(out.splitlines()) >= 1, True)
    expect(name + ": each a JSON event", {json.loads(l)["event"] for l in out.splitlines()}, {"new"})
finish()
PY
finish_checks
