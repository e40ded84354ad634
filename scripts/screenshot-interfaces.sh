#!/usr/bin/env bash
# Takes docs/pyxet-interfaces-menu.png in the lab on a virtual X display: Pyxet with devices
# behind two interfaces and the "Find Devices" drop-down open (All interfaces, one item per
# interface, Find at Addresses...). Two devices of the shipped fleet are given one configured
# address, so the picture also shows a conflict pair.
# Usage: scripts/screenshot-interfaces.sh [bin folder]   (needs xvfb-run, xdotool and ImageMagick)
# PYXET_SHOT_LANG=cs takes it in Czech, PYXET_SHOT_DIR=FOLDER writes it there instead of docs/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/shot-lib.sh
. "$ROOT/scripts/shot-lib.sh"

if [ "${1:-}" = "__display__" ]; then
  bin=$2 out=$3
  start_pyxet_for_shot "$bin"
  # The drop-down arrow at the right edge of the "Find Devices" tool button.
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove --window "$window" 100 40 click 1
  sleep 1
  import -window root -crop "$((WIDTH + 10))x$((HEIGHT + 10))+$X+$Y" "$out/pyxet-interfaces-menu.png"
  exit 0
fi

bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
write_conflict_fleet "$ROOT/sim/fleet.json" "$work/fleet.json"
export PYXET_BIN=$bin
"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" --fleet2 "$ROOT/tests/lab/net2_fleet.json" --routed "$ROOT/tests/lab/routed_fleet.json" -- \
  xvfb-run -a -s "-screen 0 1024x768x24" "$0" __display__ "$bin" "${PYXET_SHOT_DIR:-$ROOT/docs}"
echo "screenshot: ${PYXET_SHOT_DIR:-$ROOT/docs}/pyxet-interfaces-menu.png"
