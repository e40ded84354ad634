#!/usr/bin/env bash
# A display reached over TCP only, as ssh -X gives one (DISPLAY=localhost:10.0), is out of reach
# of the lab's own network; lab.sh relays it into the lab through a Unix socket, with its cookie.
# The X server here listens on TCP only (-listen tcp -nolisten unix) and lives in a network
# namespace of its own, so its port exists nowhere else: the lab, nested inside that namespace,
# can reach it through the relay alone. $1: the bin folder.
set -uo pipefail
if [ "${2:-}" != __inside__ ]; then
  exec unshare -rn bash -c 'ip link set lo up && exec bash "$0" "$1" __inside__' "$0" "${1:?bin folder}"
fi
BIN=$(cd "$1" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export PYXET_BIN=$BIN
work=$(mktemp -d)
xvfb=""
trap '[ -z "$xvfb" ] || kill "$xvfb"; rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
for tool in Xvfb xauth xdpyinfo xdotool socat; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

# The X server with a cookie of its own; the client's authority file names the TCP display as
# ssh -X writes it.
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
xauth -q -f "$work/server" add :0 . "$cookie" 2>/dev/null
exec 3>"$work/number"
Xvfb -displayfd 3 -listen tcp -nolisten unix -auth "$work/server" >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 200); do [ -s "$work/number" ] && break; sleep 0.05; done
n=$(tr -dc 0-9 <"$work/number")
[ -n "$n" ] || { echo "FAIL: Xvfb did not start: $(cat "$work/xvfb.log")" >&2; exit 1; }
export XAUTHORITY=$work/client DISPLAY=localhost:$n.0
xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$cookie" 2>/dev/null

check "the display answers here over TCP" ok "$(xdpyinfo >/dev/null 2>&1 && echo ok)"
check "a namespace of its own does not reach it" unreachable \
  "$(unshare -rn sh -c 'ip link set lo up; xdpyinfo >/dev/null 2>&1 && echo reachable || echo unreachable')"

# In the lab: a local display name, with the cookie, on which xdpyinfo and Pyxet's window work.
# The lab then waits while the relay is looked at from here.
"$ROOT/scripts/lab.sh" -- bash -c '
  echo "$DISPLAY" >"$0/display"
  xdpyinfo >"$0/xdpyinfo" 2>&1
  "$PYXET_BIN/pyxet" >"$0/pyxet.log" 2>&1 &
  pyxet=$!
  timeout 20 xdotool search --sync --onlyvisible --name "." >"$0/windows" 2>/dev/null
  kill "$pyxet"; wait "$pyxet" 2>/dev/null
  touch "$0/looked-at"
  for _ in $(seq 200); do [ -e "$0/go" ] && break; sleep 0.05; done' "$work" 2>"$work/err" &
lab=$!
for _ in $(seq 600); do [ -e "$work/looked-at" ] && break; sleep 0.05; done
relayed=$(cat "$work/display")
number=${relayed#:}; number=${number%.0}
socket=/tmp/.X11-unix/X$number
check "relay running" 1 "$(pgrep -fc "UNIX-LISTEN:$socket,")"
# It listens on its Unix socket only: nothing listens here but the X server's own TCP port.
check "no listening port besides the X server's" "" "$(ss -Hltnup | grep -v '"Xvfb"')"
touch "$work/go"
wait "$lab"
check "lab status" 0 $?
check "lab's standard error" "" "$(cat "$work/err")"
check "the lab's display is local, same screen" yes "$([[ "$relayed" =~ ^:[0-9]+\.0$ ]] && echo yes || echo no)"
contains "xdpyinfo in the lab" "vendor string:    The X.Org Foundation" "$work/xdpyinfo"
check "Pyxet's window shows" yes "$([ -s "$work/windows" ] && echo yes || echo no)"
check "relay socket removed after the lab" no "$([ -e "$socket" ] && echo yes || echo no)"
check "relay lock removed after the lab" no "$([ -e "/tmp/.X$number-lock" ] && echo yes || echo no)"
for _ in $(seq 40); do pgrep -f "UNIX-LISTEN:$socket," >/dev/null || break; sleep 0.05; done
check "relay stopped after the lab" 0 "$(pgrep -fc "UNIX-LISTEN:$socket,")"

finish_checks
echo "display relay checks passed"
