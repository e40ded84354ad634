#!/usr/bin/env bash
# Runs inside the lab (see test_shared_address.sh). $1: the work folder english_cli made, $2: the
# window's test program ("" in a build without the windows).
set -uo pipefail
cd "$1"
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
source ./cli_steps.sh
events=$PYXET_LAB_EVENTS
TAB=$'\t'
SHARED=192.168.1.80 ALONE=10.77.8.1
REASON="Shares $SHARED with 3 other devices; give each its own address first (Actions → Set Up Checked Devices...)"

if [ -n "$2" ]; then
  "$2" || failures=$((failures + 1))
fi

mark=0
set_mark() { mark=$(wc -l <"$events"); }
# The MACs of the devices the web requests since the mark reached, in order, one a line.
reached() {
  tail -n +"$((mark + 1))" "$events" | python3 -c '
import json, sys
for e in map(json.loads, sys.stdin):
    if e["event"] == "http": print(e["device"])'
}
# The most web requests open at once at one device (its MAC) since the mark.
most_at_once() {
  tail -n +"$((mark + 1))" "$events" | python3 -c '
import json, sys
running = most = 0
for e in map(json.loads, sys.stdin):
    if e.get("device") != sys.argv[1]: continue
    if e["event"] == "http_open": running += 1; most = max(most, running)
    elif e["event"] == "http_close": running -= 1
print(most)' "$1"
}

run found find --json
# expected STATUS [REFUSED]: the lines --all prints, in list order: the four refused (their word
# REFUSED, default failed; upgrade says refused), the one alone STATUS.
expected() {
  python3 - "$1" "$REASON" "$ALONE" "${2:-failed}" <<'PY'
import json, sys
status, reason, alone, refused = sys.argv[1:]
for d in json.load(open("found.out")):
    print("%s\t%s\t%s" % (d["MAC"], d["PeerIP"], status if d["PeerIP"] == alone else refused + "\t" + reason))
PY
}
check "discovery finds the five" 5 "$(python3 -c 'import json; print(len(json.load(open("found.out"))))')"
check "four of them answer from $SHARED" 4 \
  "$(python3 -c 'import json, sys; print(sum(d["PeerIP"] == sys.argv[1] for d in json.load(open("found.out"))))' "$SHARED")"
BOILER=00:0A:14:20:00:10

head -c 20000 /dev/urandom >image.kri
mkdir -p files
printf '<setup>shared</setup>\n' >"files/setup_${SHARED}_.xml"   # there: only the refusal keeps it from going out

set_mark
run upgrade upgrade image.kri --all --jobs 4 --log
check "upgrade --all: exit status" 1 "$(cat upgrade.rc)"
check "upgrade --all: the four refused with the reason, the one alone ok" "$(expected ok refused)" "$(cat upgrade.out)"
check "upgrade --all: only the one alone was reached" "$BOILER" "$(reached)"
check "upgrade --all: the reason logged as an error, once a unit" 4 "$(grep -cxF "ERROR${TAB}$REASON" upgrade.err)"

set_mark
run backup backup --all --jobs 4 --dir files
check "backup --all: exit status" 1 "$(cat backup.rc)"
check "backup --all: the four failed with the reason" "$(expected ok)" "$(cat backup.out)"
check "backup --all: only the one alone was reached" "$BOILER" "$(reached)"
check "backup --all: the shared address's file untouched" "<setup>shared</setup>" "$(cat "files/setup_${SHARED}_.xml")"
check "backup --all: the one alone's file written" 1 "$(ls files | grep -c "^setup_${ALONE}_.xml$")"

set_mark
run restore restore --all --jobs 4 --dir files --json
check "restore --all --json: exit status" 1 "$(cat restore.rc)"
check "restore --all --json: ok false with the reason in error, and the MAC" "$(expected ok | tr '\t' ' ')" \
  "$(python3 -c '
import json
for d in json.load(open("restore.out")):
    print(d["mac"], d["host"], "ok" if d["ok"] else "failed " + d["error"])')"
check "restore --all: only the one alone was reached" "$BOILER" "$(reached)"

# --type leaves two of the four out: the other two still share with three.
set_mark
run typed backup --all --type "Orvex Relay 4" --dir typed --jobs 4
check "--type: exit status" 1 "$(cat typed.rc)"
check "--type: the two of that type fail, sharing with three" \
  "$(python3 -c '
import json, sys
for d in json.load(open("found.out")):
    if d["TypeName"] == "Orvex Relay 4": print("%s\t%s\tfailed\t%s" % (d["MAC"], d["PeerIP"], sys.argv[1]))' "$REASON")" \
  "$(cat typed.out)"
check "--type: nothing reached" "" "$(reached)"

# Hosts named on the command line stay as they were: no discovery, the shared address reaches the
# unit that holds it; one host named three times never has two transfers at once.
set_mark
run hosts backup "$SHARED" "$ALONE" "$ALONE" "$ALONE" --jobs 4 --dir hosts
check "hosts: exit status" 0 "$(cat hosts.rc)"
check "hosts: each ok" "$SHARED${TAB}ok
$ALONE${TAB}ok
$ALONE${TAB}ok
$ALONE${TAB}ok" "$(cat hosts.out)"
check "hosts: the shared address reached its first unit" "00:0A:14:20:00:01" "$(reached | head -1)"
check "hosts: one host named three times, one transfer at a time there" 1 "$(most_at_once "$BOILER")"
run help backup --help
contains "backup --help: a shared host reaches one unit" "A host that several units share (a factory address) reaches only one of them" help.out

finish_checks
echo "shared address checks passed"
