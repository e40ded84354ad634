#!/usr/bin/env bash
# Ctrl+C or SIGTERM ends the lab quietly: status 130 or 143, nothing on standard error, the
# command and the simulator stopped. A terminal's Ctrl+C reaches the whole process group, the
# simulator included, whose end must then not be reported as a crash. $1: the bin folder.
set -uo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export PYXET_BIN=$BIN
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
# Job control: each lab gets a process group of its own, as a command typed at a terminal does,
# and starts with the default handling of SIGINT (a script's background jobs would ignore it).
set -m

gone() { for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || { echo gone; return; }; sleep 0.05; done; echo running; }

for case in "INT group 130" "TERM group 143" "TERM lab 143" "INT lab 130"; do
  read -r signal target status <<<"$case"
  rm -f "$work/command" "$work/events"
  "$ROOT/scripts/lab.sh" --events "$work/events" -- sh -c 'echo $$ >"$0/command"; exec sleep 60' "$work" \
    2>"$work/err" &
  lab=$!
  for _ in $(seq 300); do [ -s "$work/command" ] && break; sleep 0.05; done
  command_pid=$(cat "$work/command")
  sim_pid=$(sed -n 's/.*"pid":\([0-9]*\).*/\1/p' "$work/events" | head -n1)
  if [ "$target" = group ]; then kill "-$signal" -- "-$lab"; else kill "-$signal" "$lab"; fi
  wait "$lab"
  check "SIG$signal to the $target: exit status" "$status" $?
  check "SIG$signal to the $target: standard error" "" "$(cat "$work/err")"
  check "SIG$signal to the $target: command stopped" gone "$(gone "$command_pid")"
  check "SIG$signal to the $target: simulator stopped" gone "$(gone "$sim_pid")"
done

finish_checks
echo "signal checks passed"
