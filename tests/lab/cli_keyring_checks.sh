#!/usr/bin/env bash
# Runs inside the lab and a private keyring session (see test_cli_keyring.sh): pyxet-cli login
# set, list and forget, --login keyring on downloads and uploads (this device's entry, the entry
# of every device), the passwords found nowhere else, and --password-file's modes. $1: the bin
# folder, $2: keyring (a keyring on the bus) or none (no keyring).
set -uo pipefail
BIN=$1
MODE=$2
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
CLI=$BIN/pyxet-cli
export LC_ALL=C.UTF-8 PYXET_HTTP_LIMITS=2,1000,8,8
unset PYXET_PASSWORD
work=$(mktemp -d "$HOME/work.XXXXXX")  # inside the test's home, which is searched below
cd "$work"
events=$PYXET_LAB_EVENTS
TAB=$'\t'
# The devices' passwords: only ever in this script's variables (never exported) and in the
# keyring.
OWN=Own-pw-5512
FLEET=Fleet-pw-7734
OWN_MAC=000A14600001
SLOW=10.77.6.4

status() { "$@" >out 2>err; echo $?; }

if [ "$MODE" = none ]; then
  # No keyring: the login commands fail with the reason, the transfers still take --user's login.
  check "list without a keyring" 1 "$(status "$CLI" login list)"
  contains "the reason" "the keyring refused" err
  check "set without a keyring" 1 "$(printf '%s\n' "$OWN" | "$CLI" login set "$OWN_MAC" --user alpha 2>err >/dev/null; echo $?)"
  check "backup --login keyring without a keyring" 1 "$(status "$CLI" backup --all --login keyring --dir b0 --jobs 4 --log)"
  contains "the keyring's error in the log" "The keyring gave no login" err
  printf '%s\n' "$FLEET" >pw
  chmod 600 pw
  check "the given login still serves" 0 "$(status "$CLI" save 10.77.6.2 fleet.xml --login keyring --user fleet --password-file pw)"
  finish_checks
  exit 0
fi

# Nothing remembered: every download asks for a login and fails, naming the entries looked for.
check "empty list" "0:" "$(status "$CLI" login list):$(cat out)"
check "backup with an empty keyring" 1 "$(status "$CLI" backup --all --login keyring --dir b1 --jobs 4)"
contains "the entries looked for" "00:0A:14:60:00:01${TAB}10.77.6.1${TAB}failed${TAB}" out
contains "the entries named" "no login in the keyring served it (looked for the entries 000A14600001 and every-device)" out

# Remembered: this device's own login, and one for every device.
check "set this device" 0 "$(printf '%s\n' "$OWN" | "$CLI" login set 00:0a:14:60:00:01 --user alpha >/dev/null 2>&1; echo $?)"
check "set every device" 0 "$(printf '%s\n' "$FLEET" | "$CLI" login set --every-device --user fleet >/dev/null 2>&1; echo $?)"
check "list" "000A14600001${TAB}alpha|every-device${TAB}fleet" "$("$CLI" login list | paste -sd'|')"
check "list --json" "000A14600001=alpha every-device=fleet" \
  "$("$CLI" login list --json | python3 -c 'import json,sys; print(" ".join(e["entry"] + "=" + e["user"] for e in json.load(sys.stdin)))')"

# Downloads and uploads with the keyring's logins; the log names the rule, never the login.
mark=$(wc -l <"$events")
check "backup --login keyring" 0 "$(status "$CLI" backup --all --login keyring --dir b2 --jobs 4 --log)"
check "four backups" 4 "$(ls b2 | wc -l)"
contains "this device's rule" "Logging in with the login of this device from the keyring." err
contains "every device's rule" "Logging in with the login for every device from the keyring." err
check "downloads logged in" "ok ok ok ok" "$(tail -n +"$((mark + 1))" "$events" | python3 -c '
import json, sys
ev = [e for e in map(json.loads, sys.stdin) if e["event"] == "http" and e["method"] == "GET"]
print(" ".join(e.get("auth", "-") for e in ev))')"
check "restore --login keyring" 0 "$(status "$CLI" restore --all --login keyring --dir b2 --jobs 4)"
check "all four restored" 4 "$(grep -c "${TAB}ok$" out)"
# The preview reads each device's configuration into memory: it logs in as a download to a file.
check "restore --dry-run --login keyring" 0 "$(status "$CLI" restore --all --login keyring --dir b2 --dry-run)"
check "every device read for the preview" 0 "$(grep -c "could not be read" out)"
check "without --login keyring the download fails" 1 "$(status "$CLI" save 10.77.6.3 x.xml)"
contains "and says what it wants" "the device asks for a login" out

# The passwords are nowhere but in the keyring: not in the home folder (the keyring's own file is
# encrypted), the settings file, nor any process's command line or environment, looked at while
# a transfer holds its login (the slow device has the request and waits before it answers).
"$CLI" backup "$SLOW" --login keyring --dir b3 >bg.out 2>&1 &
bg=$!
for _ in $(seq 1 200); do
  python3 - "$events" <<'PY' && break
import json, sys
ev = [json.loads(l) for l in open(sys.argv[1])]
sys.exit(0 if any(e["event"] == "http" and e.get("device") == "00:0A:14:60:00:04" and e.get("auth") == "ok" for e in ev) else 1)
PY
  sleep 0.1
done
kill -0 "$bg" 2>/dev/null || { echo "FAIL: the slow backup ended before the search" >&2; failures=$((failures + 1)); }
settings=$("$CLI" --help | sed -n 's/^Settings read from: //p')
for password in "$OWN" "$FLEET"; do
  check "home folder" "" "$(grep -rlaF -- "$password" "$HOME" 2>/dev/null)"
  [ -f "$settings" ] && check "settings file" "" "$(grep -laF -- "$password" "$settings")"
  found=""
  for f in /proc/[0-9]*/cmdline /proc/[0-9]*/environ; do
    grep -qaF -- "$password" "$f" 2>/dev/null && found="$found $f"
  done
  check "command lines and environments" "" "$found"
done
searched=$(ls -d /proc/[0-9]*/environ 2>/dev/null | wc -l)
[ "$searched" -gt 1 ] || { echo "FAIL: no process looked at" >&2; failures=$((failures + 1)); }
wait "$bg"
check "the slow backup" "0" "$?"

# --password-file: refused when its group or others may read it, taken when only its owner may,
# and from a pipe or standard input.
printf '%s\n' "$OWN" >pw
for mode in 644 640 604; do
  chmod "$mode" pw
  check "--password-file $mode refused" 2 "$(status "$CLI" save 10.77.6.1 s.xml --user alpha --password-file pw)"
  contains "why $mode" "readable by its group or others" err
done
chmod 600 pw
check "--password-file 600 taken" 0 "$(status "$CLI" save 10.77.6.1 s.xml --user alpha --password-file pw)"
check "--password-file from a pipe" 0 "$(status "$CLI" save 10.77.6.1 s.xml --user alpha --password-file <(printf '%s\n' "$OWN"))"
check "--password-file - from a pipe" 0 "$(printf '%s\n' "$OWN" | "$CLI" load 10.77.6.1 s.xml --user alpha --password-file - >/dev/null 2>&1; echo $?)"

# Forgetting.
check "forget this device" 0 "$(status "$CLI" login forget 00:0A:14:60:00:01)"
check "forget it again" 1 "$(status "$CLI" login forget 00:0A:14:60:00:01)"
contains "no such entry" "no entry 000A14600001 in the keyring" err
check "the every-device entry serves the device now and is refused" 1 "$(status "$CLI" save 10.77.6.1 x.xml --login keyring)"
check "forget every device" 0 "$(status "$CLI" login forget --every-device)"
printf '%s\n' "$OWN" | "$CLI" login set "$OWN_MAC" --user alpha >/dev/null 2>&1
printf '%s\n' "$FLEET" | "$CLI" login set --every-device --user fleet >/dev/null 2>&1
check "forget --all" 0 "$(status "$CLI" login forget --all)"
check "nothing left" "0:" "$(status "$CLI" login list):$(cat out)"

# Wrong command lines.
check "set without MAC" 2 "$(status "$CLI" login set --user x)"
check "set without --user" 2 "$(status "$CLI" login set "$OWN_MAC")"
check "set with a bad MAC" 2 "$(status "$CLI" login set 00:11 --user x)"
check "forget MAC and --all" 2 "$(status "$CLI" login forget "$OWN_MAC" --all)"
check "--login other" 2 "$(status "$CLI" save 10.77.6.1 x.xml --login wallet)"
finish_checks
