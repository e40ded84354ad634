#!/usr/bin/env bash
# The lab: a private network where a command meets a simulated fleet of Orvex and HWG devices.
#
#   scripts/lab.sh [--fleet FILE | --orvex N --hwg N] [--events FILE] [--] [COMMAND ARGS...]
#
# A private user and network namespace (unshare -rn; no root needed) holds the command, with
# loopback and one end of a veth pair at 10.77.0.1/16, default route via 10.77.0.254. The other
# end lives in a second, nested network namespace where pyxet-sim runs and each device owns its
# address, so every answer arrives from the device's own address. Nothing reaches the machine's
# real interfaces. The command runs with PYXET_LAB_FLEET (the effective fleet file) and
# PYXET_LAB_EVENTS (the events file) set; the lab is torn down when it exits, and its exit
# status is returned. Default command: $PYXET_BIN/pyxet on the current display.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SELF="$ROOT/scripts/lab.sh"

usage() {
  sed -n '3,4p' "$SELF" | sed 's/^# *//'
  echo "Options: --fleet FILE (default sim/fleet.json), --orvex N --hwg N (generated fleet),"
  echo "         --events FILE (JSON lines of what the devices received; default a temporary file)."
  echo "pyxet-sim is taken from \$PYXET_BIN (default: build/bin of the repository)."
}

die() { echo "lab.sh: $*" >&2; exit 2; }

# ---------------------------------------------------------------------------------------------
# Inside the namespace (started by the outer part below; arguments: the command).
if [ "${1:-}" = "__inside__" ]; then
  shift
  work=$LAB_WORK
  sim_pid="" cmd_pid=""
  stop_process() {  # stop_process PID: TERM, a moment's grace, then KILL
    kill -TERM "$1" 2>/dev/null || return 0
    for _ in $(seq 40); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$1" 2>/dev/null || true
  }
  teardown() {
    local rc=$1
    trap - EXIT INT TERM
    if [ -n "$cmd_pid" ] && kill -0 "$cmd_pid" 2>/dev/null; then stop_process "$cmd_pid"; fi
    if [ -n "$sim_pid" ]; then
      if ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "lab.sh: pyxet-sim stopped while the lab ran:" >&2
        cat "$work/sim.log" >&2 || true
        [ "$rc" -eq 0 ] && rc=1
      else
        stop_process "$sim_pid"
      fi
      wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
    exit "$rc"
  }
  trap 'teardown $?' EXIT
  trap 'teardown 130' INT
  trap 'teardown 143' TERM

  ip link set lo up

  # The devices' side: a nested network namespace. It waits for its end of the veth pair, gives
  # it the gateway address and every device address, then becomes pyxet-sim.
  sed 's|.*|addr add &/32 dev pyx1|' "$work/addresses" >"$work/addresses.batch"
  unshare -n bash -c '
    for _ in $(seq 200); do ip link show pyx1 >/dev/null 2>&1 && break; sleep 0.02; done
    ip link set lo up
    ip link set pyx1 up
    ip addr add 10.77.0.254/16 dev pyx1
    if [ -s "$LAB_WORK/addresses.batch" ]; then ip -batch "$LAB_WORK/addresses.batch"; fi
    exec "$LAB_SIM" --fleet "$LAB_FLEET" --events "$LAB_EVENTS" --ready-file "$LAB_WORK/ready" --die-with-parent
  ' >"$work/sim.log" 2>&1 &
  sim_pid=$!
  own_ns=$(readlink /proc/$$/ns/net)
  for _ in $(seq 200); do
    ns=$(readlink "/proc/$sim_pid/ns/net" 2>/dev/null) || break
    [ "$ns" != "$own_ns" ] && break
    sleep 0.01
  done
  ip link add pyx0 type veth peer name pyx1 netns "$sim_pid"
  ip addr add 10.77.0.1/16 broadcast 10.77.255.255 dev pyx0
  ip link set pyx0 up
  ip route add default via 10.77.0.254 dev pyx0 onlink

  for _ in $(seq 600); do
    [ -s "$work/ready" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
    sleep 0.05
  done
  if [ ! -s "$work/ready" ]; then
    echo "lab.sh: pyxet-sim did not start:" >&2
    cat "$work/sim.log" >&2 || true
    exit 1
  fi

  export PYXET_LAB_FLEET=$LAB_FLEET PYXET_LAB_EVENTS=$LAB_EVENTS
  unset LAB_WORK LAB_SIM LAB_FLEET LAB_EVENTS
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
fleet="" orvex="" hwg="" events=""
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
"$sim" --fleet "$fleet" --list-addresses >"$work/addresses" || exit 2

if [ -n "$events" ]; then
  keep_dir=$(cd "$(dirname "$events")" 2>/dev/null && pwd) || die "no folder for $events"
  events=$keep_dir/$(basename "$events")
else
  events=$work/events.jsonl
fi
: >"$events"
# From here the namespace side removes $work.
trap - EXIT
LAB_WORK=$work LAB_SIM=$sim LAB_FLEET=$fleet LAB_EVENTS=$events \
  exec unshare -rn bash "$SELF" __inside__ "$@"
