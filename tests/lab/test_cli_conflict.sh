#!/usr/bin/env bash
# pyxet-cli find against devices that share one configured address:
#  1. two devices of different MACs reporting one address (one of them answering twice) give
#     exactly one WARNING line, and "IPConflict": true on both and on no other device; devices
#     without an address yet (0.0.0.0) are no conflict;
#  2. --csv prints the same devices with the same fields, read back by Python's csv module;
#  3. --json and --csv together are refused;
#  4. pyxet-cli watch over three rounds logs the shared address once.
# Usage: test_cli_conflict.sh BIN_DIR
set -euo pipefail
BIN=$(cd "${1:?usage: test_cli_conflict.sh BIN_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export PYXET_BIN=$BIN LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cat >"$work/fleet.json" <<'EOF2'
[
 {"family": "Orvex", "mac": "00:0A:14:00:05:01", "name": "Boiler, east", "ip": "10.77.5.10", "type": 3},
 {"family": "HWG", "mac": "00:0A:59:00:05:02", "name": "Cellar \"B\"", "ip": "10.77.5.10",
  "address": "10.77.5.11", "type": 3, "faults": {"twice": true}},
 {"family": "Orvex", "mac": "00:0A:14:00:05:03", "name": "Alone", "ip": "10.77.5.12", "type": 1},
 {"family": "Orvex", "mac": "00:0A:14:00:05:04", "name": "Waiting 1", "ip": "0.0.0.0",
  "address": "10.77.5.13", "type": 1, "dhcp": true},
 {"family": "Orvex", "mac": "00:0A:14:00:05:05", "name": "Waiting 2", "ip": "0.0.0.0",
  "address": "10.77.5.14", "type": 1, "dhcp": true}
]
EOF2

"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" -- bash -c '
  "$0/pyxet-cli" find --json --log --wait 1.5 >"$1/found.json" 2>"$1/log.txt"
  "$0/pyxet-cli" find --csv --wait 1.5 >"$1/found.csv"
  "$0/pyxet-cli" watch --seconds 5 --for 12 --log >"$1/watch.out" 2>"$1/watch.txt"' "$BIN" "$work"

# --- 1. One WARNING line, both devices marked --------------------------------------------------
warnings=$(grep -c "^WARNING	" "$work/log.txt" || true)
[ "$warnings" -eq 1 ] || { cat "$work/log.txt" >&2; fail "$warnings WARNING lines, expected 1"; }
grep -q -x -E "WARNING	IP address 10.77.5.10 is used by (00:0A:14:00:05:01 and 00:0A:59:00:05:02|00:0A:59:00:05:02 and 00:0A:14:00:05:01)" \
  "$work/log.txt" || fail "the WARNING line does not name the address and both MACs: $(grep WARNING "$work/log.txt")"
n=$(grep -c -x "INFO	Found Cellar \"B\" device at 10.77.5.11" "$work/log.txt" || true)
[ "$n" -eq 2 ] || fail "the repeated answer was logged $n times, expected 2"

python3 - "$work/found.json" "$work/found.csv" <<'EOF2'
import csv, json, sys

found = json.load(open(sys.argv[1], encoding="utf-8"))
conflicts = sorted(d["MAC"] for d in found if d["IPConflict"] is True)
errors = []
if len(found) != 5:
    errors.append("%d devices listed, expected 5" % len(found))
if conflicts != ["00:0A:14:00:05:01", "00:0A:59:00:05:02"]:
    errors.append("IPConflict true on %s" % conflicts)
if any(not isinstance(d["IPConflict"], bool) for d in found):
    errors.append("IPConflict is not a JSON boolean everywhere")
if "IPConflict" not in found[0]:
    errors.append("no IPConflict field: %s" % list(found[0].keys()))

# --- 2. The same devices as CSV ----------------------------------------------------------------
raw = open(sys.argv[2], "rb").read()
if b"\r\n" not in raw or raw.replace(b"\r\n", b"").count(b"\n") != 0:
    errors.append("CSV records do not end in CRLF")
with open(sys.argv[2], newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f, strict=True))
header, records = rows[0], rows[1:]
# The same fields; JSON names them in alphabetical order, CSV with IPConflict last.
if sorted(header) != sorted(found[0].keys()) or header[-1] != "IPConflict":
    errors.append("CSV header %s differs from the JSON keys" % header)
def text(v):
    return ("true" if v else "false") if isinstance(v, bool) else str(v)
want = [[text(d[k]) for k in header] for d in found]
if records != want:
    errors.append("CSV records differ from the JSON objects:\n%s\n%s" % (records, want))
if errors:
    print("\n".join(errors), file=sys.stderr)
    sys.exit(1)
print("conflict pair marked, CSV matches JSON: %d devices" % len(found))
EOF2

# --- 3. One output format at a time ------------------------------------------------------------
rc=0
"$ROOT/tests/netns.sh" "$BIN/pyxet-cli" find --json --csv --wait 0 >"$work/out.txt" 2>"$work/err.txt" || rc=$?
[ "$rc" -eq 2 ] || fail "--json --csv exited $rc, expected 2"
grep -q -- "--json and --csv" "$work/err.txt" || fail "--json --csv: no message"
[ ! -s "$work/out.txt" ] || fail "--json --csv printed devices"
echo "one format at a time: ok"

# --- 4. A watch of three rounds tells the shared address once -----------------------------------
warnings=$(grep -c "^WARNING	IP address 10.77.5.10 is used by" "$work/watch.txt" || true)
[ "$warnings" -eq 1 ] || { cat "$work/watch.txt" >&2; fail "the watch told the shared address $warnings times, expected 1"; }
echo "a watch tells a shared address once: ok"
