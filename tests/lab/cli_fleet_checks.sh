#!/usr/bin/env bash
# Runs inside the lab (see test_cli_fleet.sh). $1: the bin folder.
set -uo pipefail
BIN=$1
CLI=$BIN/pyxet-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
cd "$work"
events=$PYXET_LAB_EVENTS

export PYXET_HTTP_LIMITS=2,1000,3,5
unset PYXET_PASSWORD

mark=0
set_mark() { mark=$(wc -l <"$events"); }
since_mark() { tail -n +"$((mark + 1))" "$events"; }
seconds() { date +%s.%N; }
within() {  # within DESCRIPTION START LIMIT
  awk -v s="$2" -v e="$(seconds)" -v l="$3" 'BEGIN { exit !(e - s < l) }' \
    || { echo "FAIL: $1 took longer than $3 s" >&2; failures=$((failures + 1)); }
}
# The most web requests open at once since the mark (from the http_open/http_close events).
most_at_once() {
  since_mark | python3 -c '
import json, sys
running = most = 0
for e in map(json.loads, sys.stdin):
    if e["event"] == "http_open": running += 1; most = max(most, running)
    elif e["event"] == "http_close": running -= 1
print(most)'
}

# --- --all: every device one discovery finds, in list order, narrowed by --family and --type ---
"$CLI" find --json >found.json
# expected FAMILY|- TYPE...: the MAC<TAB>address<TAB>ok lines --all should print
expected() {
  python3 - "$@" <<'PY'
import json, sys
family, types = sys.argv[1], sys.argv[2:]
for d in json.load(open("found.json")):
    if (family == "-" or d["Family"] == family) and (not types or d["TypeName"] in types):
        print("%s\t%s\tok" % (d["MAC"], d["PeerIP"]))
PY
}
type_of() { python3 -c 'import json, sys; print([d["TypeName"] for d in json.load(open("found.json")) if d["PeerIP"] == sys.argv[1]][0])' "$1"; }
check "discovery finds the fleet" 15 "$(python3 -c 'import json; print(len(json.load(open("found.json"))))')"

set_mark
rc=0; "$CLI" backup --all --family HWG --dir hwg >all_hwg.txt 2>all_hwg.err || rc=$?
check "--all --family HWG exit status" 0 "$rc"
check "--all --family HWG: the HWG devices in list order" "$(expected HWG)" "$(cat all_hwg.txt)"
check "--all --family HWG: six devices" 6 "$(wc -l <all_hwg.txt)"
check "--all --family HWG: only they were asked" \
  "$(expected HWG | cut -f1 | sort | tr '\n' ' ')" \
  "$(since_mark | python3 -c '
import json, sys
print(" ".join(sorted({e["device"] for e in map(json.loads, sys.stdin) if e["event"] == "http"})) + " ")')"

ORVEX_TYPE=$(type_of 10.77.6.1)   # five Orvex devices of this type, one of them locked (GET needs no login)
HWG_TYPE=$(type_of 10.77.6.2)
rc=0; "$CLI" backup --all --type "$ORVEX_TYPE" --type "$HWG_TYPE" --family Orvex --dir typed --wait 1 >all_typed.txt || rc=$?
check "--all --type --type --family Orvex exit status" 0 "$rc"
check "--all --type: both types, Orvex only" "$(expected Orvex "$ORVEX_TYPE" "$HWG_TYPE")" "$(cat all_typed.txt)"
check "--all --type: five devices" 5 "$(wc -l <all_typed.txt)"
rc=0; "$CLI" backup --all --type "$HWG_TYPE" --json --dir json >all_json.txt || rc=$?
check "--all --json names MAC and address" "$(expected - "$HWG_TYPE" | cut -f1,2 | tr '\t' ' ')" \
  "$(python3 -c 'import json; [print(d["mac"], d["host"]) for d in json.load(open("all_json.txt"))]')"
rc=0; "$CLI" backup --all --type "No such type" >none.txt 2>none.err || rc=$?
check "--all with nothing found fails" 1 "$rc"
contains "--all with nothing found says so" "no device found" none.err
rc=0; "$CLI" backup 10.77.6.1 --all >/dev/null 2>mixed.err || rc=$?
check "--all with a HOST is refused" 2 "$rc"
rc=0; "$CLI" backup 10.77.6.1 --type "$ORVEX_TYPE" >/dev/null 2>mixed.err || rc=$?
check "--type without --all is refused" 2 "$rc"

# --- --jobs: the same results as one after another, at most N at once, in order --------------
# Every device of 10.77.6.x answers 300 ms after the request (answer_ms), so that the transfers
# overlap and a runner that starts one too many shows in the events.
printf 'secret\n' >pw
chmod 600 pw
head -c 24000 /dev/urandom | base64 -w 76 >common.xml   # 32 kB: two seconds on the slow device
HOSTS="10.77.6.1 10.77.6.2 10.77.6.3 10.77.6.5 10.77.6.6 10.77.6.7 10.77.6.4 10.77.9.9 10.77.6.8 10.77.6.9 10.77.6.10 10.77.6.11"
run_restore() {  # run_restore JOBS OUT: stdout (times of failed connections masked), the log, the status
  local rc=0
  set_mark
  "$CLI" restore $HOSTS --file common.xml --user admin --password-file pw --jobs "$1" --log "${@:3}" \
    >"$2.raw" 2>"$2.log" || rc=$?
  sed -E 's/after [0-9]+ ms/after N ms/' "$2.raw" >"$2"
  echo "$rc" >"$2.rc"
  most_at_once >"$2.most"
}
start=$(seconds); run_restore 1 one.txt; one_time=$(awk -v s="$start" -v e="$(seconds)" 'BEGIN { print e - s }')
start=$(seconds); run_restore 4 four.txt; four_time=$(awk -v s="$start" -v e="$(seconds)" 'BEGIN { print e - s }')
check "--jobs 1: one at a time" 1 "$(cat one.txt.most)"
check "--jobs 4: four at once, never more" 4 "$(cat four.txt.most)"
check "--jobs 4: the same exit status" "$(cat one.txt.rc)" "$(cat four.txt.rc)"
check "exit status of a failed host" 1 "$(cat four.txt.rc)"
check "--jobs 4: the same lines in the same order" "$(cat one.txt)" "$(cat four.txt)"
check "hosts in the order given" "$(echo $HOSTS)" "$(cut -f1 four.txt | tr '\n' ' ' | sed 's/ $//')"
check "results" "ok ok ok ok ok ok failed failed ok ok ok ok" "$(cut -f2 four.txt | tr '\n' ' ' | sed 's/ $//')"
contains "refused credentials" "10.77.6.4	failed	HTTP/1.1 401 Unauthorized; the device refused the credentials given" four.txt
contains "unreachable host" "10.77.9.9	failed	Failed to connect to 10.77.9.9 port 80 after" four.txt
check "--jobs 4: each host's log lines in the order given" \
  "$(grep -o 'Restore data from [0-9.]* starting.' one.txt.log)" "$(grep -o 'Restore data from [0-9.]* starting.' four.txt.log)"
check "--jobs 4: the log as one after another (times masked)" \
  "$(sed -E 's/[0-9]+ ms/N ms/' one.txt.log)" "$(sed -E 's/[0-9]+ ms/N ms/' four.txt.log)"
awk -v a="$four_time" -v b="$one_time" 'BEGIN { exit !(a < b) }' \
  || { echo "FAIL: --jobs 4 ($four_time s) not faster than --jobs 1 ($one_time s)" >&2; failures=$((failures + 1)); }
run_restore 1 one.json --json
run_restore 4 four.json --json
check "--jobs 4 --json: the same array" "$(cat one.json)" "$(cat four.json)"
rc=0; "$CLI" backup 10.77.6.1 --jobs 33 >/dev/null 2>jobs.err || rc=$?
check "--jobs above 32 is refused" 2 "$rc"

# --- upgrade --verify --------------------------------------------------------------------------
{ printf 'PYXET-SIM-FIRMWARE 2.1.0\n'; head -c 20000 /dev/urandom; } >new.kri
{ printf 'no revision line\n'; head -c 20000 /dev/urandom; } >plain.kri
rc=0; "$CLI" upgrade new.kri 10.77.7.1 10.77.7.4 --verify 15 --json >verified.json || rc=$?
check "--verify, a new revision: exit status" 0 "$rc"
check "--verify, a new revision: before and after" \
  "10.77.7.1 True 1.0 2.1.0 None|10.77.7.4 True 1.0.0 2.1.0 None|" \
  "$(python3 -c 'import json; [print(d["host"], d["ok"], d["firmware_before"], d["firmware_after"], d["error"], end="|") for d in json.load(open("verified.json"))]')"
# The same image again: the device restarts and comes back as it was, which fails at once.
start=$(seconds)
rc=0; "$CLI" upgrade new.kri 10.77.7.1 --verify 30 >again.txt || rc=$?
within "a device back with the same revision fails at once, not after 30 s" "$start" 12
check "--verify, the same image again: exit status" 1 "$rc"
check "--verify, the same image again" "10.77.7.1	failed	not verified: the firmware revision is still 2.1.0" "$(cat again.txt)"
# An image without the revision line: the device never restarts and keeps its revision.
start=$(seconds)
rc=0; "$CLI" upgrade plain.kri 10.77.7.2 --verify 5 >same.txt || rc=$?
within "a device that keeps its revision fails when the time is up" "$start" 10
check "--verify, same revision: exit status" 1 "$rc"
check "--verify, same revision" "10.77.7.2	failed	not verified: the firmware revision is still 1.0.0" "$(cat same.txt)"
start=$(seconds)
rc=0; "$CLI" upgrade new.kri 10.77.7.3 --verify 4 --json >gone.json || rc=$?
within "a device that never comes back fails within the time given" "$start" 9
check "--verify, never back: exit status" 1 "$rc"
check "--verify, never back" "1.0 None not verified: no answer to discovery within 4 s" \
  "$(python3 -c 'import json; d = json.load(open("gone.json"))[0]; print(d["firmware_before"], d["firmware_after"], d["error"])')"
rc=0; "$CLI" backup 10.77.6.1 --verify 5 >/dev/null 2>verify.err || rc=$?
check "--verify is for upgrade only" 2 "$rc"

finish_checks
echo "cli fleet checks passed"
