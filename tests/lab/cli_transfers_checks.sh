#!/usr/bin/env bash
# Runs inside the lab (see test_cli_transfers.sh): pyxet-cli's HTTP commands against the devices
# of tests/lab/http_fleet.json. $1: the bin folder.
set -uo pipefail
BIN=$1
CLI=$BIN/pyxet-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
cd "$work"
events=$PYXET_LAB_EVENTS

# Short limits, so that each stalled device fails within seconds: connection 2 s, fewer than
# 1000 bytes/s for 3 s, an upload's answer awaited 5 s (a download's 3 s).
export PYXET_HTTP_LIMITS=2,1000,3,5
unset PYXET_PASSWORD

PLAIN=10.77.5.1 LOCKED=10.77.5.2 DOOR=10.77.5.3 MISSING=10.77.5.4 BROKEN=10.77.5.5 BADIMAGE=10.77.5.6
CRAWL=10.77.5.7 MUTE=10.77.5.8 SLOW=10.77.5.9 FLASH=10.77.5.10 NOBODY=10.77.9.9
ENDLESS=10.77.5.12 EMPTY=10.77.5.13 NOCONTENT=10.77.5.14 PARTIAL=10.77.5.15 HANGUP=10.77.5.16

mark=0
since_mark() { tail -n +"$((mark + 1))" "$events"; }
set_mark() { mark=$(wc -l <"$events"); }
# check_events DESCRIPTION PYTHON-EXPRESSION: the new http events as `ev` (a list of dicts,
# in arrival order) must make the expression true.
check_events() {
  if ! since_mark | python3 -c '
import json, sys, zlib
ev = [e for e in map(json.loads, sys.stdin) if e["event"] == "http"]
def crc(path): return "%08X" % (zlib.crc32(open(path, "rb").read()) & 0xFFFFFFFF)
def size(path): import os; return os.path.getsize(path)
def at(host): return [e for e in ev if e["from"] and e.get("device") and e["device"] == MAC[host]]
MAC = {"10.77.5.1": "00:0A:14:50:00:01", "10.77.5.2": "00:0A:14:50:00:02", "10.77.5.3": "00:0A:59:50:00:03",
       "10.77.5.4": "00:0A:14:50:00:04", "10.77.5.5": "00:0A:59:50:00:05", "10.77.5.6": "00:0A:14:50:00:06",
       "10.77.5.7": "00:0A:14:50:00:07", "10.77.5.8": "00:0A:14:50:00:08", "10.77.5.9": "00:0A:59:50:00:09",
       "10.77.5.10": "00:0A:14:50:00:0A", "10.77.5.12": "00:0A:14:50:00:0C", "10.77.5.16": "00:0A:59:50:00:10"}
ok = eval("(" + sys.argv[1] + "\n)")
if not ok:
    print(json.dumps(ev, indent=1), file=sys.stderr)
sys.exit(0 if ok else 1)
' "$2"; then
    echo "FAIL: $1" >&2
    failures=$((failures + 1))
  fi
}
seconds() { date +%s.%N; }
within() {  # within DESCRIPTION START LIMIT: the time since START is below LIMIT seconds
  awk -v s="$2" -v e="$(seconds)" -v l="$3" 'BEGIN { exit !(e - s < l) }' \
    || { echo "FAIL: $1 took longer than $3 s" >&2; failures=$((failures + 1)); }
}

mkdir -p "images dir"
head -c 300000 /dev/urandom >"images dir/image.kri"
head -c 8000000 /dev/urandom >big.kri
IMAGE="$work/images dir/image.kri"

# --- upgrade: one file to every host, in the order given ------------------------------------
set_mark
start=$(seconds)
rc=0
"$CLI" upgrade "$IMAGE" $PLAIN $LOCKED $DOOR $BADIMAGE $BROKEN $MUTE $FLASH $NOBODY --log \
  >out.txt 2>log.txt || rc=$?
# Mute: 5 s for its answer; Nobody: 2 s to connect; Flash answers after 2 s.
within "upgrade of eight hosts" "$start" 20
check "upgrade exit status" 1 "$rc"
check "upgrade hosts in order" "$PLAIN $LOCKED $DOOR $BADIMAGE $BROKEN $MUTE $FLASH $NOBODY" "$(cut -f1 out.txt | tr '\n' ' ' | sed 's/ $//')"
check "upgrade results" "ok failed failed failed failed failed ok failed" "$(cut -f2 out.txt | tr '\n' ' ' | sed 's/ $//')"
contains "401 device asks for a login" "$LOCKED	failed	HTTP/1.1 401 Unauthorized; the device asks for a login" out.txt
# The reset comes while the body is still going out or once it is out: either is a dropped connection.
grep -qE "^$DOOR	failed	(Send|Recv) failure: Connection reset by peer; the device asks for a login" out.txt \
  || { echo "FAIL: dropping device asks for a login: $(grep "^$DOOR" out.txt)" >&2; failures=$((failures + 1)); }
contains "failing upload" "$BADIMAGE	failed	HTTP/1.1 500 Internal Server Error" out.txt
contains "mute device" "$MUTE	failed	The device did not answer within 5 seconds." out.txt
contains "unreachable device" "$NOBODY	failed	Failed to connect to $NOBODY port 80 after" out.txt
contains "answer heading logged" "DEBUG	Upload OK" log.txt
grep -q "Upload failed" log.txt && { echo "FAIL: the heading of a failed upload was logged" >&2; failures=$((failures + 1)); }
check_events "upgrade: what the devices received" '
  [e["path"] for e in at("10.77.5.1")] == ["/upload"]
  and at("10.77.5.1")[0]["file_name"] == "'"$IMAGE"'"
  and at("10.77.5.1")[0]["bytes"] == 300000 and at("10.77.5.1")[0]["crc32"] == crc("'"$IMAGE"'")
  and "auth" not in at("10.77.5.1")[0]
  and [(e["status"], e["auth"]) for e in at("10.77.5.2")] == [(401, "missing")]
  and [(e["status"], e["auth"]) for e in at("10.77.5.3")] == [(None, "missing")]
  and [e["status"] for e in at("10.77.5.6")] == [500] and at("10.77.5.6")[0]["crc32"] == crc("'"$IMAGE"'")
  and [e["status"] for e in at("10.77.5.5")] == [500]
  and [e.get("outcome") for e in at("10.77.5.8")] == ["client went away"]
  and [e["status"] for e in at("10.77.5.10")] == [200]'

# The log of one device, in the order of the HTTP module's phases.
sed -n "/Upgrade data from $PLAIN starting./,/Data upgraded./p" log.txt | grep -v 'in progress. Please wait.' >plain.txt
check "phases of one upload" "INFO	Upgrade data from $PLAIN starting.
DEBUG	POST request: http://$PLAIN/upload
DEBUG	Connecting.
DEBUG	POST request.
DEBUG	POST request finished.
DEBUG	Upload OK
INFO	Data upgraded." "$(cat plain.txt)"
contains "rate lines" "DEBUG	Data upload in progress. Please wait.              " log.txt
contains "flash line" "DEBUG	Data flash in progress. Please wait." log.txt

# Credentials: from --password-file, else PYXET_PASSWORD; wrong ones are reported as such.
printf 'pass\r\nsecond line\n' >password.txt
chmod 600 password.txt  # a password file others may read is refused
set_mark
rc=0
"$CLI" upgrade "$IMAGE" $LOCKED --user user --password-file password.txt >out.txt 2>err.txt || rc=$?
check "login from the password file" "0 $LOCKED	ok" "$rc $(cat out.txt)"
rc=0
PYXET_PASSWORD=hwg "$CLI" upgrade "$IMAGE" $DOOR --user admin >out.txt 2>err.txt || rc=$?
check "login from PYXET_PASSWORD" "0 $DOOR	ok" "$rc $(cat out.txt)"
rc=0
PYXET_PASSWORD=wrong "$CLI" upgrade "$IMAGE" $LOCKED --user user >out.txt 2>err.txt || rc=$?
check "wrong password" "1 $LOCKED	failed	HTTP/1.1 401 Unauthorized; the device refused the credentials given" "$rc $(cat out.txt)"
check_events "credentials reached the devices" '
  [(e["status"], e["auth"]) for e in at("10.77.5.2")] == [(200, "ok"), (401, "wrong")]
  and [(e["status"], e["auth"]) for e in at("10.77.5.3")] == [(200, "ok")]'
grep -rqs -- "pass" log.txt out.txt err.txt && { echo "FAIL: a password reached the output" >&2; failures=$((failures + 1)); }

# A device reading slower than the floor: once its kernel's buffer is full it holds its window
# closed, and the upload fails after the answer's time; the next host is still served.
set_mark
start=$(seconds)
rc=0
"$CLI" upgrade big.kri $CRAWL $PLAIN --json >out.json 2>log.txt || rc=$?
within "stalled upload" "$start" 25
check "stalled upload exit status" 1 "$rc"
check "stalled upload JSON" "ok" "$(python3 -c '
import json, sys
r = json.load(open("out.json"))
want = [{"host": "10.77.5.7", "ok": False,
         "error": "The device took no data for 5 seconds."},
        {"host": "10.77.5.1", "ok": True, "error": None}]
r = [{k: d[k] for k in ("host", "ok", "error")} for d in r]
print("ok" if r == want else r)')"
check_events "the host after the stalled one" '[e["bytes"] for e in at("10.77.5.1")] == [8000000]'

# A file name with a quote and a line break: libcurl percent-encodes them in the part header.
odd=$'odd"name\n.kri'
cp "$IMAGE" "$odd"
set_mark
"$CLI" upgrade "$odd" $PLAIN >/dev/null 2>&1
check_events "encoded file name" '[e["file_name"] for e in at("10.77.5.1")] == ["odd%22name%0A.kri"]'

# --- backup ----------------------------------------------------------------------------------
mkdir -p backup
echo "earlier backup" >"backup/setup_${MISSING}_.xml"
echo "earlier crawl backup" >"backup/setup_${CRAWL}_.xml"
set_mark
start=$(seconds)
rc=0
"$CLI" backup $PLAIN $MISSING $NOBODY $CRAWL $MUTE $LOCKED --log >out.txt 2>log.txt || rc=$?
within "backup of six hosts" "$start" 20
# The simulator logs a request when it ends, and notices a client that gave up a moment after
# the client has gone on to the next host: the requests are compared as a set (the results' order
# is checked below).
check_events "backup requests" '
  all(e["method"] == "GET" and e["path"] == "/setup.xml" and "auth" not in e for e in ev)
  and sorted(e["device"] for e in ev) == sorted(MAC[h] for h in ["10.77.5.1", "10.77.5.4", "10.77.5.7", "10.77.5.8", "10.77.5.2"])'
check "backup exit status" 1 "$rc"
check "backup results" "$PLAIN ok|$MISSING failed|$NOBODY failed|$CRAWL failed|$MUTE failed|$LOCKED ok" \
  "$(cut -f1,2 out.txt | tr '\t\n' ' |' | sed 's/|$//')"
contains "404 reported" "$MISSING	failed	HTTP/1.1 404 Not Found" out.txt
contains "slow download" "$CRAWL	failed	The transfer stalled: fewer than 1000 bytes per second for 3 seconds." out.txt
contains "download never answered" "$MUTE	failed	The device did not answer within 3 seconds." out.txt
curl -s "http://$PLAIN/setup.xml" >plain-setup.xml
cmp -s plain-setup.xml "backup/setup_${PLAIN}_.xml" || { echo "FAIL: backup differs from the device's file" >&2; failures=$((failures + 1)); }
check "404 leaves the earlier backup" "earlier backup" "$(cat "backup/setup_${MISSING}_.xml")"
check "a stalled download leaves the earlier backup" "earlier crawl backup" "$(cat "backup/setup_${CRAWL}_.xml")"
check "no backup of failed hosts" "" "$(ls backup | grep -e "$NOBODY" -e "$MUTE")"
check "no temporary files" "" "$(ls -a backup | grep part)"
# A backup the user keeps private stays private.
chmod 640 "backup/setup_${PLAIN}_.xml"
"$CLI" backup $PLAIN >/dev/null 2>&1
check "a replaced backup keeps its bits" 640 "$(stat -c %a "backup/setup_${PLAIN}_.xml")"
sed -n "/Backup data from $PLAIN starting./,/Backup data from $MISSING/p" log.txt >kept.txt
# The configuration of a host whose MAC it answered with is also kept in its history (a new
# version, or the newest one when it is unchanged since an earlier run).
grep -v 'history' kept.txt >plain.txt
kept=$(sed -n "s/^INFO	Configuration of $PLAIN .*history.* \(\/.*\.xml\)\.$/\1/p" kept.txt)
case "$kept" in
  */history/[0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F]/*Z.xml)
    cmp -s plain-setup.xml "$kept" || { echo "FAIL: the history version differs from the device's file" >&2; failures=$((failures + 1)); } ;;
  *) echo "FAIL: no history version named in the log: [$kept]" >&2; failures=$((failures + 1)) ;;
esac
check "a host that does not answer the info request is said to keep no history" 1 \
  "$(grep -c "^pyxet-cli: $NOBODY did not answer the info request: its configuration is not kept in the history$" log.txt)"
check "phases of one download" "INFO	Backup data from $PLAIN starting.
DEBUG	GET request: http://$PLAIN/setup.xml
DEBUG	GET request.
DEBUG	GET request finished.
INFO	Backup data from $MISSING starting." "$(cat plain.txt)"
check "log of a failed download" "INFO	Backup data from $MISSING starting.
DEBUG	GET request: http://$MISSING/setup.xml
DEBUG	GET request.
ERROR	HTTP/1.1 404 Not Found" "$(sed -n "/Backup data from $MISSING starting./,/ERROR/p" log.txt)"

# --dir: created when missing, nested too.
"$CLI" backup $PLAIN --dir "other/place" >/dev/null 2>&1
cmp -s plain-setup.xml "other/place/setup_${PLAIN}_.xml" || { echo "FAIL: backup --dir" >&2; failures=$((failures + 1)); }
# A folder that cannot be written: that host fails naming the file, the next is still served.
mkdir locked && chmod 555 locked
if [ ! -w locked ]; then  # (root ignores the mode)
  rc=0
  "$CLI" backup $PLAIN --dir locked >out.txt 2>&1 || rc=$?
  contains "unwritable backup" "$PLAIN	failed	Cannot write the file locked/setup_${PLAIN}_.xml: Permission denied" out.txt
fi
: >"file-not-folder"
rc=0
"$CLI" backup $PLAIN $PLAIN --dir file-not-folder >out.txt 2>&1 || rc=$?
check "backup into a file: exit status" 1 "$rc"
check "backup into a file: both hosts fail" 2 "$(grep -c "failed	Cannot write the file file-not-folder/setup_${PLAIN}_.xml: Not a directory" out.txt)"
# A folder name with a tab and an escape: written out through SafeText, the line stays one line.
: >$'odd\tfolder\e[2J'
"$CLI" backup $PLAIN --dir $'odd\tfolder\e[2J' >out.txt 2>/dev/null
check "odd folder name: one line" 1 "$(wc -l <out.txt)"
contains "odd folder name: written out" \
  "$PLAIN	failed	Cannot write the file odd\\x09folder\\x1B[2J/setup_${PLAIN}_.xml: Not a directory" out.txt
"$CLI" backup $PLAIN --dir $'odd\tfolder\e[2J' --json >out.txt 2>&1
check "odd folder name: JSON" "Cannot write the file odd\\x09folder\\x1B[2J/setup_${PLAIN}_.xml: Not a directory" \
  "$(python3 -c 'import json, sys; print(json.load(open("out.txt"))[0]["error"])')"

# --- restore ---------------------------------------------------------------------------------
printf '<setup><name>Restored</name></setup>\n' >"backup/setup_${LOCKED}_.xml"
set_mark
rc=0
PYXET_PASSWORD=pass "$CLI" restore $PLAIN $LOCKED $BROKEN --user user --log >out.txt 2>log.txt || rc=$?
check "restore exit status" 1 "$rc"
check "restore results" "$PLAIN	ok
$LOCKED	ok
$BROKEN	failed	Configuration not found" "$(cat out.txt)"
check_events "restore requests" '
  [(e["method"], e["path"], e["status"]) for e in ev] == [("POST", "/setup.xml", 200)] * 2
  and at("10.77.5.1")[0]["file_name"] == "backup/setup_10.77.5.1_.xml"
  and at("10.77.5.1")[0]["crc32"] == crc("backup/setup_10.77.5.1_.xml")
  and at("10.77.5.2")[0]["auth"] == "ok" and at("10.77.5.2")[0]["bytes"] == size("backup/setup_10.77.5.2_.xml")'
check "no request for a missing backup" "" "$(grep "$BROKEN" log.txt | grep -v 'Restore data from')"
check "restored file read back" "<setup><name>Restored</name></setup>" "$(curl -s "http://$LOCKED/setup.xml")"

# --file: the same file to every host.
printf '<setup><name>Common</name></setup>\n' >common.xml
set_mark
rc=0
"$CLI" restore $PLAIN $FLASH --file common.xml --json >out.json 2>/dev/null || rc=$?
check "common restore" "0 2" "$rc $(python3 -c 'import json; print(sum(r["ok"] for r in json.load(open("out.json"))))')"
check_events "common configuration sent" '
  [(e["device"], e["path"], e["crc32"]) for e in ev] == [(MAC[h], "/setup.xml", crc("common.xml")) for h in ["10.77.5.1", "10.77.5.10"]]'

# --- save and load ---------------------------------------------------------------------------
set_mark
rc=0
"$CLI" save $PLAIN saved.cfg --log >out.txt 2>log.txt || rc=$?
check "save" "0 $PLAIN	ok" "$rc $(cat out.txt)"
check "saved file" "<setup><name>Common</name></setup>" "$(cat saved.cfg)"
check "save log" "INFO	Process save configuration starting.
INFO	Backup data from $PLAIN starting.
DEBUG	GET request: http://$PLAIN/setup.xml
DEBUG	GET request.
DEBUG	GET request finished.
INFO	Save process finished." "$(grep -v -e 'Loading config' -e 'history' log.txt)"
printf '<setup><name>Loaded</name></setup>\n' >load.cfg
rc=0
"$CLI" load $LOCKED load.cfg --user user --password-file password.txt --log >out.txt 2>log.txt || rc=$?
check "load" "0 $LOCKED	ok" "$rc $(cat out.txt)"
check_events "save and load requests" '
  [(e["method"], e["device"]) for e in ev] == [("GET", MAC["10.77.5.1"]), ("POST", MAC["10.77.5.2"])]
  and ev[1]["file_name"] == "load.cfg" and ev[1]["crc32"] == crc("load.cfg")'
check "loaded file read back" "<setup><name>Loaded</name></setup>" "$(curl -s "http://$LOCKED/setup.xml")"
check "load log" "INFO	Process load configuration starting.
INFO	Restore data from $LOCKED starting.
DEBUG	POST request: http://$LOCKED/setup.xml
DEBUG	Connecting.
DEBUG	POST request.
DEBUG	POST request finished.
INFO	Load configuration process finished." "$(grep -v 'Loading config' log.txt)"
set_mark
rc=0
"$CLI" load $DOOR load.cfg >out.txt 2>/dev/null || rc=$?
check "load to a dropping device without login" "1" "$rc"
contains "load without login" "the device asks for a login" out.txt
check_events "load without login: one request" '[(e["method"], e["status"]) for e in ev] == [("POST", None)]'

# Save onto a link: the link stays, its target is replaced and keeps its bits.
mkdir -p real
echo "old" >real/saved.xml
chmod 640 real/saved.xml
ln -s real/saved.xml linked.xml
"$CLI" save $PLAIN linked.xml >/dev/null 2>&1
check "save onto a link keeps the link" "real/saved.xml" "$(readlink linked.xml)"
check "save onto a link replaces its target" "640 <setup><name>Common</name></setup>" \
  "$(stat -c %a real/saved.xml) $(cat real/saved.xml)"

# --- answers that hold no whole file, or never end -------------------------------------------
for h in $ENDLESS $EMPTY $NOCONTENT $PARTIAL; do echo "earlier $h" >"backup/setup_${h}_.xml"; done
start=$(seconds)
rc=0
# (At most 64 MiB a file: a missing limit fails here without filling the disk.)
(ulimit -f 65536; exec timeout 120 "$CLI" backup $ENDLESS $EMPTY $NOCONTENT $PARTIAL $PLAIN) >out.txt 2>&1 || rc=$?
within "backup of broken answers" "$start" 30
check "broken answers: exit status" 1 "$rc"
check "broken answers: results" "$ENDLESS	failed	The device sent more than 16 MiB: the download was stopped.
$EMPTY	failed	The device sent an empty file.
$NOCONTENT	failed	HTTP/1.1 204 No Content: the answer holds no whole file.
$PARTIAL	failed	HTTP/1.1 206 Partial Content: the answer holds no whole file.
$PLAIN	ok" "$(cat out.txt)"
for h in $ENDLESS $EMPTY $NOCONTENT $PARTIAL; do
  check "the earlier backup of $h stays" "earlier $h" "$(cat "backup/setup_${h}_.xml")"
done
check "no temporary files after broken answers" "" "$(ls -a backup | grep part)"
# An endless answer to an upload is read up to its limit; its status decides.
set_mark
start=$(seconds)
rc=0
timeout 120 "$CLI" upgrade "$IMAGE" $ENDLESS >out.txt 2>err.txt || rc=$?
within "upgrade with an endless answer" "$start" 30
check "endless answer to an upgrade" "0 $ENDLESS	ok" "$rc $(cat out.txt)"
rc=0
timeout 120 "$CLI" load $ENDLESS load.cfg >out.txt 2>&1 || rc=$?
check "endless answer to a load" "0 $ENDLESS	ok" "$rc $(cat out.txt)"
check_events "the endless device took both" '[e["outcome"] for e in at("10.77.5.12")] == ["firmware accepted", "configuration stored"]'
# A device that closes once it has read the request head: a broken pipe, the login question.
set_mark
rc=0
timeout 60 "$CLI" upgrade big.kri $HANGUP >out.txt 2>err.txt || rc=$?
check "a device closing after the head asks for a login" \
  "1 $HANGUP	failed	Send failure: Broken pipe; the device asks for a login: give --user and --password-file or PYXET_PASSWORD" \
  "$rc $(cat out.txt)"
check_events "the closing device saw one request" '[e["outcome"] for e in at("10.77.5.16")] == ["closed after the head"]'

# --- a FIFO or a device as the file: refused at once, nothing sent ---------------------------
mkfifo pipe.cfg
set_mark
refused() {  # refused FILE ARGS...: pyxet-cli ARGS refuses FILE at once
  local file=$1 rc=0 start
  shift
  start=$(seconds)
  timeout 20 "$CLI" "$@" >out.txt 2>err.txt || rc=$?
  within "$* refused" "$start" 5
  check "$*: exit status and message" "2 pyxet-cli: cannot read $file: not a regular file" "$rc $(cat err.txt)"
}
refused pipe.cfg load $PLAIN pipe.cfg
refused pipe.cfg upgrade pipe.cfg $PLAIN
refused pipe.cfg restore $PLAIN --file pipe.cfg
refused /dev/zero load $PLAIN /dev/zero
check_events "nothing sent for a FIFO or a device" 'ev == []'

# --- wrong command lines: status 2, nothing sent ---------------------------------------------
set_mark
usage() {  # usage DESCRIPTION ARGS...
  local what=$1 rc=0
  shift
  "$CLI" "$@" >out.txt 2>err.txt || rc=$?
  check "$what: exit status" 2 "$rc"
  check "$what: no output" "" "$(cat out.txt)"
  [ -s err.txt ] || { echo "FAIL: $what: no message" >&2; failures=$((failures + 1)); }
}
usage "upgrade without hosts" upgrade "$IMAGE"
usage "upgrade of a missing file" upgrade missing.kri $PLAIN
usage "upgrade of a folder" upgrade backup $PLAIN
usage "host name instead of an address" backup device.local
usage "address with a leading zero" backup 10.77.5.01
usage "three numbers" backup 10.77.5
usage "password on the command line" upgrade "$IMAGE" $LOCKED --password pass
usage "unreadable password file" upgrade "$IMAGE" $LOCKED --password-file nothing.txt
usage "--dir and --file" restore $PLAIN --dir backup --file common.xml
usage "restore of a missing file" restore $PLAIN --file missing.xml
usage "save without a file" save $PLAIN
usage "save to two hosts" save $PLAIN $LOCKED saved.cfg
usage "load of a missing file" load $PLAIN missing.xml
usage "--json on save" save $PLAIN saved.cfg --json
usage "--login other than keyring" backup $PLAIN --login wallet
usage "backup with no host" backup --dir backup
check_events "no request from a wrong command line" 'ev == []'

# --- a backup killed in the middle of a slow transfer ----------------------------------------
for signal in KILL TERM; do
  printf 'the earlier backup\n' >"backup/setup_${SLOW}_.xml"
  "$CLI" backup $SLOW >out.txt 2>&1 &
  pid=$!
  # Wait until the device is sending (its file takes about 8 s at 1500 bytes/s).
  for _ in $(seq 100); do ls -a backup | grep -q '^\.pyxet-part-' && break; sleep 0.05; done
  sleep 1
  kill -s $signal $pid
  rc=0
  { wait $pid; } 2>/dev/null || rc=$?
  check "killed ($signal): the earlier backup stays" "the earlier backup" "$(cat "backup/setup_${SLOW}_.xml")"
  if [ $signal = TERM ]; then
    check "stopped by TERM: exit status" 143 "$rc"
    check "stopped by TERM: result" "$SLOW	failed	The transfer was stopped." "$(cat out.txt)"
    # (and the file the killed one left went when this one began)
    check "stopped by TERM: no temporary file" "" "$(ls -a backup | grep part)"
  else
    check "killed: its temporary file is left" 1 "$(ls -a backup | grep -c '^\.pyxet-part-[0-9A-F]\{12\}$')"
  fi
done
# A transfer another Pyxet is still writing into the folder is left to it, and so are other
# programs' files.
touch backup/.pyxet-part-someoneelse "backup/setup_${SLOW}_.xml.part0A1B2C"
"$CLI" backup $SLOW >slow.txt 2>&1 &
pid=$!
for _ in $(seq 100); do ls -a backup | grep -q '^\.pyxet-part-[0-9A-F]\{12\}$' && break; sleep 0.05; done
sleep 1
"$CLI" backup $PLAIN >/dev/null 2>&1
check "the running transfer's file is left to it" 1 "$(ls -a backup | grep -c '^\.pyxet-part-[0-9A-F]\{12\}$')"
check "other programs' files stay" 2 "$(ls -a backup | grep -c -e someoneelse -e 'part0A1B2C$')"
wait $pid
# Left alone, the slow backup completes and replaces the earlier file.
check "slow backup completes" "$SLOW	ok" "$(cat slow.txt)"
contains "slow backup's file" "</setup>" "backup/setup_${SLOW}_.xml"
check "no temporary file at the end" 0 "$(ls -a backup | grep -c '^\.pyxet-part-[0-9A-F]\{12\}$')"

finish_checks
echo "pyxet-cli transfer checks passed"
