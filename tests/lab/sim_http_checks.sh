#!/usr/bin/env bash
# Runs inside the lab (see test_sim_http.sh): curl against the devices of tests/lab/sim_fleet.json.
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
status() { curl -s -o "$work/body" -w '%{http_code}' "$@"; }

HALL=10.77.1.20 LOCKED=10.77.1.26 SLOW=10.77.1.27 MISSING=10.77.1.28 BADIMAGE=10.77.1.29 DOOR=10.77.2.26
printf '<?xml version="1.0"?>\n<setup><name>Pokus č. 1</name></setup>\n' >"$work/setup.xml"
head -c 300000 /dev/urandom >"$work/image.kri"
head -c 2000000 /dev/urandom >"$work/big.kri"

# GET and POST of setup.xml: the device hands back exactly what it stored.
check "GET setup.xml" 200 "$(status "http://$HALL/setup.xml")"
contains "generated configuration" "<name>Hall sensor</name>" "$work/body"
check "POST setup.xml" 200 "$(status -F "filename=@$work/setup.xml" "http://$HALL/setup.xml")"
check "GET after POST" 200 "$(status "http://$HALL/setup.xml")"
cmp -s "$work/body" "$work/setup.xml" || { echo "FAIL: stored setup.xml differs" >&2; failures=$((failures + 1)); }

# Firmware upload with credentials; refused without them or with wrong ones.
check "upload with credentials" 200 "$(status -u user:pass -F "filename=@$work/image.kri" "http://$LOCKED/upload")"
contains "outcome heading" "<h1>Upload OK</h1>" "$work/body"
check "upload without credentials" 401 "$(status -F "filename=@$work/image.kri" "http://$LOCKED/upload")"
check "upload with a wrong password" 401 "$(status -u user:wrong -F "filename=@$work/image.kri" "http://$LOCKED/upload")"
check "2 MB upload without credentials (Expect: 100-continue)" 401 \
  "$(status -F "filename=@$work/big.kri" "http://$LOCKED/upload")"
check "POST setup.xml without credentials" 401 "$(status -F "filename=@$work/setup.xml" "http://$LOCKED/setup.xml")"
check "POST setup.xml with credentials" 200 \
  "$(status -u user:pass -F "filename=@$work/setup.xml" "http://$LOCKED/setup.xml")"
check "GET needs no credentials" 200 "$(status "http://$LOCKED/setup.xml")"

# A device that refuses by dropping the connection.
curl -s -o /dev/null -F "filename=@$work/setup.xml" "http://$DOOR/setup.xml"
rc=$?
case $rc in 52|55|56) ;; *) echo "FAIL: dropped connection: curl exit $rc" >&2; failures=$((failures + 1)) ;; esac
check "drop device with credentials" 200 \
  "$(status -u admin:hwg -F "filename=@$work/image.kri" "http://$DOOR/upload")"

# Configured failures.
check "failing upload" 500 "$(status -F "filename=@$work/image.kri" "http://$BADIMAGE/upload")"
contains "failure heading" "<h1>Upload failed</h1>" "$work/body"
check "missing file" 404 "$(status "http://$MISSING/setup.xml")"
check "no file part" 400 "$(status -F "other=@$work/setup.xml" "http://$HALL/upload")"
check "empty image" 400 "$(status -F "filename=@/dev/null" "http://$HALL/upload")"
check "unknown path" 404 "$(status "http://$HALL/nothing")"
# A slow device takes at least its configured time (about 280 bytes at 4000 bytes/s) but delivers.
took=$(curl -s -o "$work/body" -w '%{time_total}' "http://$SLOW/setup.xml")
contains "slow transfer content" "</setup>" "$work/body"
awk -v t="$took" 'BEGIN { exit !(t >= 0.05) }' || { echo "FAIL: slow device answered in $took s" >&2; failures=$((failures + 1)); }

# Broken requests by hand: answered with an error, never a crash.
raw() {  # raw ADDRESS TEXT: first line of the answer
  exec 3<>"/dev/tcp/$1/80"
  printf '%b' "$2" >&3
  head -n1 <&3 | tr -d '\r'
  exec 3<&- 3>&-
}
check "garbage request line" "HTTP/1.1 400 Bad Request" "$(raw $HALL 'GARBAGE\r\n\r\n')"
check "bad Content-Length" "HTTP/1.1 400 Bad Request" \
  "$(raw $HALL 'POST /upload HTTP/1.1\r\nContent-Length: 12x\r\n\r\n')"
check "huge Content-Length" "HTTP/1.1 413 Payload Too Large" \
  "$(raw $HALL 'POST /upload HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n')"
check "broken chunked body" "HTTP/1.1 400 Bad Request" \
  "$(raw $HALL 'POST /upload HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n')"
check "endless head" "HTTP/1.1 431 Request Header Fields Too Large" \
  "$(raw $HALL "GET / HTTP/1.1\r\n$(head -c 20000 /dev/zero | tr '\0' 'a')")"
# A body cut short: the client goes away mid-request.
exec 3<>"/dev/tcp/$HALL/80"; printf 'POST /upload HTTP/1.1\r\nContent-Length: 1000\r\n\r\nabc' >&3; exec 3<&- 3>&-
check "still serving" 200 "$(status "http://$HALL/setup.xml")"

# What reached the devices.
events=$PYXET_LAB_EVENTS
contains "401 logged" '"auth":"missing","device":"00:0A:14:1E:28:45"' "$events"
contains "drop logged" '"outcome":"connection dropped: no valid credentials"' "$events"
contains "upload size logged" '"bytes":300000' "$events"

finish_checks
echo "web server checks passed"
