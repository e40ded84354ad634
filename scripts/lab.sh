#!/usr/bin/env bash
# The lab: a private network where a command meets a simulated fleet of Orvex and HWG devices.
#
#   scripts/lab.sh [--fleet FILE | --orvex N --hwg N] [--events FILE] [--fleet2 FILE] [--routed FILE]
#                  [--twin] [--local PREFIX]... [--] [COMMAND ARGS...]
#
# A private user and network namespace (unshare -rn; no root needed) holds the command, with
# loopback and one end of a veth pair at 10.77.0.1/16, default route via 10.77.0.254. The other
# end lives in a second, nested network namespace where pyxet-sim runs and each device owns its
# address, so every answer arrives from the device's own address. Nothing reaches the machine's
# real interfaces. The command runs with PYXET_LAB_FLEET (the effective fleet file) and
# PYXET_LAB_EVENTS (the events file) set; the lab is torn down when it exits, and its exit
# status is returned. Default command: $PYXET_BIN/pyxet on the current display; a display over
# TCP (ssh -X) is relayed into the lab through a Unix socket. Ctrl+C or SIGTERM ends the lab
# quietly with status 130 or 143.
#
# Two more networks on request, each with a simulator of its own: --fleet2 FILE puts its devices
# behind a second interface of the command, pyx2 = 10.78.0.1/16 (broadcast 10.78.255.255), which
# no 255.255.255.255 broadcast leaves by; --routed FILE puts its devices behind a router, the
# devices' side of the default route, which forwards to them (their addresses must lie outside
# 10.77.0.0/16 and 10.78.0.0/16) but lets no broadcast through. Their events go to
# PYXET_LAB_EVENTS2 and PYXET_LAB_EVENTS3.
#
# --twin gives the command a second interface on the default route's subnet, as a PC with cable
# and Wi-Fi on one LAN: pyx6 = 10.77.0.2/16, on pyx0's segment (a macvlan of it), listed before
# pyx0 (pyx0 then gets interface index 100).
#
# --local PREFIX (repeatable) makes every address of PREFIX local on the devices' side, as the
# devices' own addresses are, so that a datagram or a connection to an address no device has yet
# reaches the simulator: a device that follows its configured address (follow_ip) is reached at
# its new one. The PC's own addresses (10.77.0.1, 10.77.0.2) stay the PC's.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SELF="$ROOT/scripts/lab.sh"

usage() {
  sed -n '3,4p' "$SELF" | sed 's/^# *//'
  echo "Options: --fleet FILE (default sim/fleet.json), --orvex N --hwg N (generated fleet),"
  echo "         --events FILE (JSON lines of what the devices received; default a temporary file),"
  echo "         --fleet2 FILE (devices behind a second interface, 10.78.0.0/16),"
  echo "         --routed FILE (devices behind a router on the default route),"
  echo "         --twin (a second interface, pyx6 = 10.77.0.2/16, on the default route's segment),"
  echo "         --local PREFIX (repeatable: addresses like 10.77.10.0/24 that reach the simulator"
  echo "         before any device has them, for devices that move to a new address)."
  echo "pyxet-sim is taken from \$PYXET_BIN (default: build/bin of the repository)."
}

die() { echo "lab.sh: $*" >&2; exit 2; }

# ---------------------------------------------------------------------------------------------
# Inside the namespace (started by the outer part below; arguments: the command).
if [ "${1:-}" = "__inside__" ]; then
  shift
  work=$LAB_WORK
  relay_pid=${LAB_RELAY_PID:-} relay_socket=${LAB_RELAY_SOCKET:-} relay_lock=${LAB_RELAY_LOCK:-}
  unset LAB_RELAY_PID LAB_RELAY_SOCKET LAB_RELAY_LOCK
  sim_pid="" cmd_pid="" interrupted="" extra_pids=""
  stop_process() {  # stop_process PID: TERM, a moment's grace, then KILL
    kill -TERM "$1" 2>/dev/null || return 0
    for _ in $(seq 40); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$1" 2>/dev/null || true
  }
  teardown() {
    local rc=$1
    trap - EXIT INT TERM
    if [ -n "$cmd_pid" ] && kill -0 "$cmd_pid" 2>/dev/null; then stop_process "$cmd_pid"; fi
    for pid in $extra_pids; do stop_process "$pid"; wait "$pid" 2>/dev/null || true; done
    if [ -n "$sim_pid" ]; then
      # An interrupt from the terminal reaches the simulator too: then its end is no crash.
      if ! kill -0 "$sim_pid" 2>/dev/null && [ -z "$interrupted" ]; then
        echo "lab.sh: pyxet-sim stopped while the lab ran:" >&2
        cat "$work/sim.log" >&2 || true
        [ "$rc" -eq 0 ] && rc=1
      else
        stop_process "$sim_pid"
      fi
      wait "$sim_pid" 2>/dev/null || true
    fi
    stop_relay
    rm -rf "$work"
    exit "$rc"
  }
  stop_relay() {
    [ -n "$relay_pid" ] || return 0
    kill -TERM "$relay_pid" 2>/dev/null || true
    rm -f "$relay_socket" "$relay_lock"
  }
  trap 'teardown $?' EXIT
  trap 'interrupted=1; teardown 130' INT
  trap 'interrupted=1; teardown 143' TERM

  ip link set lo up

  # The devices' side: a nested network namespace. It waits for its end of the veth pair, gives
  # it the gateway address, makes every device address local, then becomes pyxet-sim. The
  # device addresses are local routes of a few prefixes rather than addresses of pyx1: the
  # kernel adds interface addresses in quadratic time (30,000 took minutes), routes in linear.
  sed 's|.*|route add local & dev lo|' "$work/prefixes" >"$work/routes.batch"
  if [ -s "$work/local" ]; then
    # Local routes are looked up before the main table: the PC's addresses are carved out again.
    sed 's|.*|route replace local & dev lo|' "$work/local" >>"$work/routes.batch"
    printf 'route replace %s dev pyx1 table local\n' 10.77.0.1/32 10.77.0.2/32 >>"$work/routes.batch"
  fi
  unshare -n bash -c '
    for _ in $(seq 200); do ip link show pyx1 >/dev/null 2>&1 && break; sleep 0.02; done
    ip link set lo up
    ip link set pyx1 up
    ip addr add 10.77.0.254/16 dev pyx1
    if [ -s "$LAB_WORK/routes.batch" ]; then ip -batch "$LAB_WORK/routes.batch"; fi
    exec "$LAB_SIM" --fleet "$LAB_FLEET" --events "$LAB_EVENTS" --ready-file "$LAB_WORK/ready" --die-with-parent
  ' >"$work/sim.log" 2>&1 &
  sim_pid=$!
  own_ns=$(readlink /proc/$$/ns/net)
  for _ in $(seq 200); do
    ns=$(readlink "/proc/$sim_pid/ns/net" 2>/dev/null) || break
    [ "$ns" != "$own_ns" ] && break
    sleep 0.01
  done
  # With --twin, pyx0 takes a high interface index so that its twin, made next, is listed first.
  pyx0_index=()
  [ -z "${LAB_TWIN:-}" ] || pyx0_index=(index 100)
  ip link add pyx0 "${pyx0_index[@]}" type veth peer name pyx1 netns "$sim_pid"
  ip addr add 10.77.0.1/16 broadcast 10.77.255.255 dev pyx0
  ip link set pyx0 up
  ip route add default via 10.77.0.254 dev pyx0 onlink
  if [ -n "${LAB_TWIN:-}" ]; then
    ip link add pyx6 link pyx0 type macvlan mode bridge
    ip addr add 10.77.0.2/16 broadcast 10.77.255.255 dev pyx6
    ip link set pyx6 up
  fi

  # A further simulator in a network namespace of its own: start_sim NAME FLEET SETUP, where
  # SETUP (run there first) waits for its end of a veth pair and configures it. Sets new_pid
  # once the namespace exists.
  start_sim() {
    local name=$1 fleet=$2 setup=$3 ns
    LAB_SETUP=$setup LAB_NAME=$name LAB_SIM_FLEET=$fleet unshare -n bash -c '
      set -e
      ip link set lo up
      eval "$LAB_SETUP"
      exec "$LAB_SIM" --fleet "$LAB_SIM_FLEET" --events "$LAB_WORK/events-$LAB_NAME.jsonl" \
        --ready-file "$LAB_WORK/ready-$LAB_NAME" --die-with-parent
    ' >"$work/sim-$name.log" 2>&1 &
    new_pid=$!
    extra_pids="$extra_pids $new_pid"
    for _ in $(seq 200); do
      ns=$(readlink "/proc/$new_pid/ns/net" 2>/dev/null) || break
      [ "$ns" != "$own_ns" ] && break
      sleep 0.01
    done
  }
  wait_link='for _ in $(seq 200); do ip link show "$1" >/dev/null 2>&1 && break; sleep 0.02; done'
  if [ -n "${LAB_FLEET2:-}" ]; then
    sed 's|.*|route add local & dev lo|' "$work/prefixes2" >"$work/routes2.batch"
    start_sim 2 "$LAB_FLEET2" "set -- pyx3; $wait_link
      ip link set pyx3 up
      ip addr add 10.78.0.254/16 broadcast 10.78.255.255 dev pyx3
      ip -batch \"\$LAB_WORK/routes2.batch\""
    ip link add pyx2 type veth peer name pyx3 netns "$new_pid"
    ip addr add 10.78.0.1/16 broadcast 10.78.255.255 dev pyx2
    ip link set pyx2 up
  fi
  if [ -n "${LAB_ROUTED:-}" ]; then
    sed 's|.*|route add local & dev lo|' "$work/prefixes3" >"$work/routes3.batch"
    sed 's|.*|route add & via 10.76.0.2|' "$work/prefixes3" >"$work/via3.batch"
    start_sim 3 "$LAB_ROUTED" "set -- pyx5; $wait_link
      ip link set pyx5 up
      ip addr add 10.76.0.2/30 dev pyx5
      ip route add default via 10.76.0.1
      ip -batch \"\$LAB_WORK/routes3.batch\""
    # The devices' side of the default route becomes the router.
    ip link add pyx4 netns "$sim_pid" type veth peer name pyx5 netns "$new_pid"
    nsenter --net="/proc/$sim_pid/ns/net" bash -c '
      ip addr add 10.76.0.1/30 dev pyx4
      ip link set pyx4 up
      echo 1 >/proc/sys/net/ipv4/ip_forward
      ip -batch "$0"' "$work/via3.batch"
  fi
  for name in 2 3; do
    [ "$name" = 2 ] && [ -z "${LAB_FLEET2:-}" ] && continue
    [ "$name" = 3 ] && [ -z "${LAB_ROUTED:-}" ] && continue
    for _ in $(seq 600); do [ -s "$work/ready-$name" ] && break; sleep 0.05; done
    if [ ! -s "$work/ready-$name" ]; then
      echo "lab.sh: the simulator of network $name did not start:" >&2
      cat "$work/sim-$name.log" >&2 || true
      exit 1
    fi
  done

  # The simulator opens its sockets in a moment, but a large fleet takes a while to read and to
  # route: the wait grows with the fleet, and a large one says what it waits for.
  devices=$LAB_DEVICES
  started=$SECONDS
  deadline=$((SECONDS + 30 + devices / 500))
  [ "$devices" -lt 5000 ] || echo "lab.sh: starting $devices simulated devices..." >&2
  while [ ! -s "$work/ready" ] && [ "$SECONDS" -lt "$deadline" ]; do
    if ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
    sleep 0.05
  done
  if [ ! -s "$work/ready" ]; then
    echo "lab.sh: pyxet-sim did not start within $((SECONDS - started)) s:" >&2
    cat "$work/sim.log" >&2 || true
    kill -0 "$sim_pid" 2>/dev/null && stop_process "$sim_pid"
    sim_pid=""
    exit 1
  fi
  [ "$devices" -lt 5000 ] || echo "lab.sh: $devices devices ready after $((SECONDS - started)) s" >&2

  export PYXET_LAB_FLEET=$LAB_FLEET PYXET_LAB_EVENTS=$LAB_EVENTS
  [ -z "${LAB_FLEET2:-}" ] || export PYXET_LAB_EVENTS2=$work/events-2.jsonl
  [ -z "${LAB_ROUTED:-}" ] || export PYXET_LAB_EVENTS3=$work/events-3.jsonl
  unset LAB_WORK LAB_SIM LAB_FLEET LAB_EVENTS LAB_DEVICES LAB_FLEET2 LAB_ROUTED LAB_TWIN
  # The command runs in the background so that a signal to the lab tears it down at once; it
  # keeps the lab's standard input.
  set +e
  "$@" <&0 &
  cmd_pid=$!
  wait "$cmd_pid"
  rc=$?
  set -e
  teardown "$rc"
fi

# ---------------------------------------------------------------------------------------------
# Outside: options, the fleet, then into the namespace.
fleet="" orvex="" hwg="" events="" fleet2="" routed="" twin="" local=()
while [ $# -gt 0 ]; do
  case "$1" in
    --fleet) [ $# -ge 2 ] || die "--fleet needs a file"; fleet=$2; shift 2 ;;
    --fleet=*) fleet=${1#*=}; shift ;;
    --orvex) [ $# -ge 2 ] || die "--orvex needs a number"; orvex=$2; shift 2 ;;
    --orvex=*) orvex=${1#*=}; shift ;;
    --hwg) [ $# -ge 2 ] || die "--hwg needs a number"; hwg=$2; shift 2 ;;
    --hwg=*) hwg=${1#*=}; shift ;;
    --events) [ $# -ge 2 ] || die "--events needs a file"; events=$2; shift 2 ;;
    --events=*) events=${1#*=}; shift ;;
    --fleet2) [ $# -ge 2 ] || die "--fleet2 needs a file"; fleet2=$2; shift 2 ;;
    --fleet2=*) fleet2=${1#*=}; shift ;;
    --routed) [ $# -ge 2 ] || die "--routed needs a file"; routed=$2; shift 2 ;;
    --routed=*) routed=${1#*=}; shift ;;
    --twin) twin=1; shift ;;
    --local) [ $# -ge 2 ] || die "--local needs a prefix"; local+=("$2"); shift 2 ;;
    --local=*) local+=("${1#*=}"); shift ;;
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
    -*) usage >&2; die "unknown option $1" ;;
    *) break ;;
  esac
done
if [ -n "$fleet" ] && { [ -n "$orvex" ] || [ -n "$hwg" ]; }; then die "give either --fleet or --orvex/--hwg"; fi
for n in "$orvex" "$hwg"; do
  case "$n" in ''|*[!0-9]*) [ -z "$n" ] || die "--orvex and --hwg take a number" ;; esac
done

# pyxet-sim: from $PYXET_BIN; without it, beside the command when that is a path to a build's
# bin folder, else build/bin of the repository.
if [ -z "${PYXET_BIN:-}" ]; then
  if [ $# -gt 0 ] && [[ "$1" == */* ]] && [ -x "$(dirname "$1")/pyxet-sim" ]; then
    PYXET_BIN=$(dirname "$1")
  else
    PYXET_BIN=$ROOT/build/bin
  fi
fi
PYXET_BIN=$(cd "$PYXET_BIN" 2>/dev/null && pwd) || die "no folder $PYXET_BIN (build first: make build)"
export PYXET_BIN
sim=$PYXET_BIN/pyxet-sim
[ -x "$sim" ] || die "no $sim (build first: make build)"
[ $# -gt 0 ] || set -- "$PYXET_BIN/pyxet"

# --local prefixes: a.b.c.d/n, n from 8 to 32, no host bits, not touching the router's link to
# --routed devices (10.76.0.0/30).
for prefix in ${local[@]+"${local[@]}"}; do
  [[ "$prefix" =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})/([0-9]{1,2})$ ]] ||
    die "--local takes a prefix like 10.77.10.0/24, not $prefix"
  bits=$((10#${BASH_REMATCH[5]})) value=0
  for octet in 1 2 3 4; do
    [ $((10#${BASH_REMATCH[$octet]})) -le 255 ] || die "--local: no address $prefix"
    value=$((value << 8 | 10#${BASH_REMATCH[$octet]}))
  done
  [ "$bits" -ge 8 ] && [ "$bits" -le 32 ] || die "--local: the prefix length of $prefix must be 8 to 32"
  [ $((value & ((1 << (32 - bits)) - 1))) -eq 0 ] || die "--local: $prefix has host bits set"
  shared=$((bits < 30 ? bits : 30))
  [ $((value >> (32 - shared))) -ne $(((10 << 24 | 76 << 16) >> (32 - shared))) ] ||
    die "--local: $prefix overlaps 10.76.0.0/30, the link to the routed devices"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/pyxet-lab.XXXXXX")
cleanup_outside() { rm -rf "$work"; }
trap cleanup_outside EXIT

if [ -n "$orvex" ] || [ -n "$hwg" ]; then
  fleet=$work/fleet.json
  "$sim" --orvex "${orvex:-0}" --hwg "${hwg:-0}" --print-fleet >"$fleet" || exit 2
else
  fleet=${fleet:-$ROOT/sim/fleet.json}
  [ -r "$fleet" ] || die "cannot read $fleet"
  fleet=$(cd "$(dirname "$fleet")" && pwd)/$(basename "$fleet")
fi
"$sim" --fleet "$fleet" --list-prefixes >"$work/prefixes" || exit 2
: >"$work/local"
for prefix in ${local[@]+"${local[@]}"}; do echo "$prefix" >>"$work/local"; done
devices=$(awk -F/ '{ n += 2 ^ (32 - $2) } END { printf "%d", n }' "$work/prefixes")
absolute() { (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }
if [ -n "$fleet2" ]; then
  [ -r "$fleet2" ] || die "cannot read $fleet2"
  fleet2=$(absolute "$fleet2")
  "$sim" --fleet "$fleet2" --list-prefixes >"$work/prefixes2" || exit 2
fi
if [ -n "$routed" ]; then
  [ -r "$routed" ] || die "cannot read $routed"
  routed=$(absolute "$routed")
  "$sim" --fleet "$routed" --list-prefixes >"$work/prefixes3" || exit 2
fi

if [ -n "$events" ]; then
  keep_dir=$(cd "$(dirname "$events")" 2>/dev/null && pwd) || die "no folder for $events"
  events=$keep_dir/$(basename "$events")
else
  events=$work/events.jsonl
fi
: >"$events"
# A display over TCP (ssh -X sets DISPLAY=localhost:10.0) cannot be reached from the lab's own
# network. A relay outside the lab (socat) offers it as a local display, /tmp/.X11-unix/X<n>,
# which the lab reaches through the file system, and the display's cookie is copied into an
# authority file for display <n>. The relay listens on that Unix socket only. The lab stops it
# at teardown; should the lab be killed outright, the relay gets SIGTERM when it loses its parent.
relay_display() {
  local host number screen n lock="" socket key proto pid
  [[ "${DISPLAY:-}" =~ ^(tcp/)?([^/]+):([0-9]+)(\.[0-9]+)?$ ]] || return 0
  host=${BASH_REMATCH[2]} number=${BASH_REMATCH[3]} screen=${BASH_REMATCH[4]}
  [ "$host" != unix ] || return 0
  host=${host#[}; host=${host%]}
  [[ "$host" != *:* ]] || host="[$host]"
  if ! command -v socat >/dev/null; then
    echo "lab.sh: the display $DISPLAY cannot be reached from the lab without socat (scripts/install-deps.sh installs it)" >&2
    return 0
  fi
  [ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; } || return 0
  # A free display number, claimed by a lock file as X servers do (a stale one is taken over).
  for n in $(seq 50 999); do
    socket=/tmp/.X11-unix/X$n
    [ -e "$socket" ] && continue
    if [ -e "/tmp/.X$n-lock" ]; then
      pid=$(tr -dc 0-9 <"/tmp/.X$n-lock" 2>/dev/null) || pid=""
      [ -n "$pid" ] && [ -d "/proc/$pid" ] && continue
      rm -f "/tmp/.X$n-lock"
    fi
    if (set -C; printf '%10d\n' $$ >"/tmp/.X$n-lock") 2>/dev/null; then lock=/tmp/.X$n-lock; break; fi
  done
  [ -n "$lock" ] || { echo "lab.sh: no free display number for relaying $DISPLAY" >&2; return 0; }
  relay_lock=$lock relay_socket=$socket
  local pdeath=()
  command -v setpriv >/dev/null && pdeath=(setpriv --pdeathsig TERM)
  "${pdeath[@]}" socat "UNIX-LISTEN:$socket,fork,mode=600,unlink-early" "TCP:$host:$((6000 + number))" \
    </dev/null >/dev/null 2>"$work/relay.log" &
  relay_pid=$!
  for _ in $(seq 250); do [ -S "$socket" ] && break; kill -0 "$relay_pid" 2>/dev/null || break; sleep 0.02; done
  if [ ! -S "$socket" ]; then
    echo "lab.sh: the relay for the display $DISPLAY did not start: $(head -c 300 "$work/relay.log")" >&2
    stop_relay_outside
    return 0
  fi
  # The display's cookie, if it has one, for the relayed number.
  if command -v xauth >/dev/null; then
    : >"$work/Xauthority"
    read -r _ proto key < <(xauth list "$DISPLAY" 2>/dev/null | head -n 1) || true
    [ -z "${key:-}" ] || xauth -q -f "$work/Xauthority" add ":$n" "$proto" "$key"
    export XAUTHORITY=$work/Xauthority
  fi
  export DISPLAY=:$n$screen LAB_RELAY_PID=$relay_pid LAB_RELAY_SOCKET=$socket LAB_RELAY_LOCK=$lock
}
relay_pid="" relay_lock="" relay_socket=""
stop_relay_outside() {
  [ -n "$relay_pid" ] && kill -TERM "$relay_pid" 2>/dev/null
  rm -f "$relay_socket" "$relay_lock"
  relay_pid=""
}
trap 'stop_relay_outside; cleanup_outside' EXIT
relay_display

# From here the namespace side removes $work and stops the relay.
trap - EXIT
LAB_WORK=$work LAB_SIM=$sim LAB_FLEET=$fleet LAB_EVENTS=$events LAB_DEVICES=$devices LAB_FLEET2=$fleet2 LAB_ROUTED=$routed \
  LAB_TWIN=$twin exec unshare -rn bash "$SELF" __inside__ "$@"
