#!/usr/bin/env bash
# Device texts that would act on a log or a terminal: names with line breaks, a tab, escape
# sequences and bidirectional controls, a firmware revision with an escape sequence, and an
# upload answer whose <h1> heading forges a log line.
#  1. `find` prints one line a device, the texts written out visibly and no raw control byte;
#  2. `find --log` writes each "Found" line as one line, with no forged "ERROR<TAB>" line and no
#     raw ESC byte;
#  3. `find --json` and `find --csv` carry the texts exactly as the devices sent them;
#  4. `upgrade --log` writes the heading of the answer on one line, written out the same way.
# Usage: test_device_text.sh BIN_DIR
set -uo pipefail
BIN=$(cd "${1:?usage: test_device_text.sh BIN_DIR}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export PYXET_BIN=$BIN LC_ALL=C.UTF-8
CLI=$BIN/pyxet-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# Orvex names hold at most 32 bytes: the first name is 25.
cat >"$work/fleet.json" <<'EOF2'
[
 {"family": "Orvex", "mac": "00:0A:14:00:07:01", "name": "Boiler\r\nERROR\tforged\u001b[31m",
  "ip": "10.77.7.1", "type": 3, "firmware": "2.0\u001b[2J",
  "http": {"heading": "Upload OK\r\nERROR\tforged by the page\u001b]0;owned\u0007"}},
 {"family": "HWG", "mac": "00:0A:59:00:07:02", "name": "Cellar\u202etxt.exe\u2028\u0085 C:\\dir",
  "ip": "10.77.7.2", "type": 3},
 {"family": "Orvex", "mac": "00:0A:14:00:07:03", "name": "Kotelna – teploměr č. 2", "ip": "10.77.7.3", "type": 1}
]
EOF2
head -c 2000 /dev/urandom >"$work/image.kri"

"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" -- bash -c '
  cli=$0 out=$1
  "$cli" find --log --wait 1.5 >"$out/find.txt" 2>"$out/find.log"; echo $? >"$out/find.rc"
  "$cli" find --json --wait 1.5 >"$out/find.json" 2>/dev/null
  "$cli" find --csv --wait 1.5 >"$out/find.csv" 2>/dev/null
  "$cli" upgrade "$out/image.kri" 10.77.7.1 --log >"$out/upgrade.txt" 2>"$out/upgrade.log"; echo $? >"$out/upgrade.rc"
' "$CLI" "$work"
check "lab ran" 0 $?
check "find: exit status" 0 "$(cat "$work/find.rc")"
check "upgrade: exit status" 0 "$(cat "$work/upgrade.rc")"

# Lines holding a byte below 0x20 other than the line end, DEL, or the C1/U+2028/U+202E forms in
# UTF-8. Log lines are checked after their LEVEL<TAB>.
raw_controls() { LC_ALL=C grep -c -P '[\x00-\x09\x0B-\x1F\x7F]|\xC2[\x80-\x9F]|\xE2\x80[\xA8-\xAE]' "$1"; }
raw_log_controls() { cut -f2- "$1" >"$1.messages"; raw_controls "$1.messages"; }

# --- 1. One line a device ----------------------------------------------------------------------
check "find: lines" 3 "$(wc -l <"$work/find.txt" | tr -d ' ')"
check "find: lines with raw control bytes" 0 "$(raw_controls "$work/find.txt")"
contains "find: the Orvex name written out" 'Boiler\x0D\x0AERROR\x09forged\x1B[31m' "$work/find.txt"
contains "find: the firmware written out" '2.0\x1B[2J' "$work/find.txt"
contains "find: the HWG name written out" 'Cellar\u{202E}txt.exe\u{2028}\u{0085} C:\\dir' "$work/find.txt"
contains "find: Czech text as it is" 'Kotelna – teploměr č. 2' "$work/find.txt"

# --- 2. The log --------------------------------------------------------------------------------
check "find --log: lines with raw control bytes" 0 "$(raw_log_controls "$work/find.log")"
check "find --log: forged ERROR lines" 0 "$(grep -c '^ERROR' "$work/find.log")"
contains "find --log: the Orvex device found, on one line" \
  "$(printf 'INFO\tFound Boiler\\x0D\\x0AERROR\\x09forged\\x1B[31m device at 10.77.7.1')" "$work/find.log"
contains "find --log: the HWG device found, on one line" \
  "$(printf 'INFO\tFound Cellar\\u{202E}txt.exe\\u{2028}\\u{0085} C:\\\\dir device at 10.77.7.2')" "$work/find.log"
for line in $(cut -f1 "$work/find.log" | sort -u); do
  case $line in INFO | DEBUG | WARNING) ;; *) check "find --log: a line of level [$line]" "" "$line" ;; esac
done

# --- 3. JSON and CSV keep the device's texts ----------------------------------------------------
python3 - "$work/find.json" "$work/find.csv" <<'EOF2'
import csv, json, sys
want = {
    "00:0A:14:00:07:01": ("Boiler\r\nERROR\tforged\x1b[31m", "2.0\x1b[2J"),
    "00:0A:59:00:07:02": ("Cellar\u202etxt.exe\u2028\x85 C:\\dir", "1.0.0"),
    "00:0A:14:00:07:03": ("Kotelna – teploměr č. 2", "1.0"),
}
errors = []
found = json.load(open(sys.argv[1], encoding="utf-8"))
with open(sys.argv[2], newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f, strict=True))
for kind, devices in (("JSON", found), ("CSV", rows)):
    got = {d["MAC"]: (d["Name"], d["FirmwareRev"]) for d in devices}
    if got != want:
        errors.append("%s: %r, expected %r" % (kind, got, want))
if errors:
    print("\n".join(errors), file=sys.stderr)
    sys.exit(1)
EOF2
check "find --json/--csv: exact texts" 0 $?

# --- 4. The heading of the upload's answer --------------------------------------------------------
check "upgrade --log: lines with raw control bytes" 0 "$(raw_log_controls "$work/upgrade.log")"
check "upgrade --log: forged ERROR lines" 0 "$(grep -c '^ERROR' "$work/upgrade.log")"
contains "upgrade --log: the heading on one line" \
  "$(printf 'DEBUG\tUpload OK\\x0D\\x0AERROR\\x09forged by the page\\x1B]0;owned\\x07')" "$work/upgrade.log"
check "upgrade: result line" "$(printf '10.77.7.1\tok')" "$(cat "$work/upgrade.txt")"

finish_checks
