#!/usr/bin/env bash
# An upgrade's verification takes only the upgraded unit's own answer (its MAC and family), from
# whatever address it comes. The fleet (stepaside_fleet.json) has three pairs: a unit that does
# not take its image and steps aside to 10.77.39.x, and its heir, which took its own image just
# before and takes over the address the first one left while it restarts. Asking that address
# would meet the heir with the new revision; the first unit must be "not verified", with
# pyxet-cli upgrade --verify (hosts given, and --all) and in the window (gui_verify_tests); a
# lower revision is marked "(older)" in both. $1: the bin folder.
set -uo pipefail
BIN=$(cd "${1:?usage: test_verify_by_mac.sh BIN_DIR}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/checks.sh"
cli_lab_work

# The images: the units' own form, a new revision (Orvex, HWG) and a lower one.
{ printf 'PYXET-SIM-FIRMWARE 2.16.0\n'; head -c 20000 /dev/urandom; } >"$work/new.kri"
{ printf 'PYXET-SIM-FIRMWARE 2.6.0\n'; head -c 20000 /dev/urandom; } >"$work/hwg.kri"
{ printf 'PYXET-SIM-FIRMWARE 2.9.0\n'; head -c 20000 /dev/urandom; } >"$work/old.kri"

cat >"$work/steps.sh" <<'STEPS'
cd "$1"
source ./cli_steps.sh
# The heir first, then the unit that steps aside; then both HWG units as --all finds them
# (heir first in list order); then the heir, now at the first unit's old address, gets a lower
# revision.
run hosts upgrade new.kri 10.77.31.2 10.77.31.1 --verify 20
run all upgrade hwg.kri --all --family HWG --wait 1 --verify 20
run older upgrade old.kri 10.77.31.1 --verify 20
run after find --json --wait 1
STEPS
"$ROOT/scripts/lab.sh" --fleet "$HERE/stepaside_fleet.json" --events "$work/events.jsonl" --local 10.77.39.0/24 -- \
  bash "$work/steps.sh" "$work"

check "hosts: exit status" 1 "$(cat "$work/hosts.rc")"
check "hosts: the heir verified, the unit that stepped aside not" \
  "10.77.31.2${TAB}ok${TAB}firmware 2.14.0 -> 2.16.0
10.77.31.1${TAB}failed${TAB}not verified: the firmware revision is still 2.14.0" "$(cat "$work/hosts.out")"
check "--all: exit status" 1 "$(cat "$work/all.rc")"
check "--all: by MAC and family" \
  "02:53:00:00:00:04${TAB}10.77.32.2${TAB}ok${TAB}firmware 2.4.0 -> 2.6.0
02:53:00:00:00:03${TAB}10.77.32.1${TAB}failed${TAB}not verified: the firmware revision is still 2.4.0" \
  "$(cat "$work/all.out")"
check "older: exit status" 0 "$(cat "$work/older.rc")"
check "older: marked" "10.77.31.1${TAB}ok${TAB}firmware 2.16.0 -> 2.9.0 (older)" "$(cat "$work/older.out")"
# What the units did: each unit that stepped aside got its image and kept its revision; its heir
# took the address it left; the units answer from where the simulator put them.
python3 - "$work" <<'PY' || failures=$((failures + 1))
import json, os, sys
work = sys.argv[1]
events = [json.loads(l) for l in open(os.path.join(work, "events.jsonl"))]
errors = []
def expect(what, got, want):
    if got != want:
        errors.append("%s: %r, expected %r" % (what, got, want))
uploads = [(e["device"], e["outcome"]) for e in events if e["event"] == "http" and e["path"] == "/upload"]
expect("uploads", uploads, [("02:53:00:00:00:02", "firmware accepted"),
                            ("02:53:00:00:00:01", "image not taken: stepped aside"),
                            ("02:53:00:00:00:04", "firmware accepted"),
                            ("02:53:00:00:00:03", "image not taken: stepped aside"),
                            ("02:53:00:00:00:02", "firmware accepted")])
moves = [(e["device"], e["old_address"], e["new_address"]) for e in events
         if e["event"] == "state" and e["cause"] == "moved"]
expect("moves", moves, [("02:53:00:00:00:01", "10.77.31.1", "10.77.39.1"),
                        ("02:53:00:00:00:02", "10.77.31.2", "10.77.31.1"),
                        ("02:53:00:00:00:03", "10.77.32.1", "10.77.39.2"),
                        ("02:53:00:00:00:04", "10.77.32.2", "10.77.32.1")])
found = {d["MAC"]: (d["PeerIP"], d["FirmwareRev"]) for d in json.load(open(os.path.join(work, "after.out")))}
expect("found afterwards", [found.get("02:53:00:00:00:0%d" % n) for n in range(1, 5)],
       [("10.77.39.1", "2.14.0"), ("10.77.31.1", "2.9.0"), ("10.77.39.2", "2.4.0"), ("10.77.32.1", "2.6.0")])
if errors:
    print("\n".join(errors), file=sys.stderr)
    sys.exit(1)
PY

# The window: Utilities -> "Verify Upgrades" over the third pair.
if [ -e "$BIN/gui_verify_tests" ]; then
  QT_QPA_PLATFORM=offscreen "$ROOT/scripts/lab.sh" --fleet "$HERE/stepaside_fleet.json" --local 10.77.39.0/24 -- \
    "$BIN/gui_verify_tests" || failures=$((failures + 1))
elif ! grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt" 2>/dev/null; then
  echo "FAIL: no gui_verify_tests in $BIN" >&2
  failures=$((failures + 1))
fi
finish_checks
echo "verification by MAC checks passed"
