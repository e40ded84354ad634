#!/usr/bin/env bash
# Takes docs/pyxet-ip-conflict.png in the lab, on a virtual X display: the shipped fleet, where
# two HWG devices report the configured address of the Orvex "Hall sensor" (10.77.1.10). The
# three rows stand out; "Hall sensor" is selected and its details say which MACs share its
# address.
# Usage: scripts/screenshot-conflict.sh [bin folder]   (needs xvfb-run, xdotool and ImageMagick's import)
# PYXET_SHOT_LANG=cs takes it in Czech, PYXET_SHOT_DIR=FOLDER writes it there instead of docs/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/shot-lib.sh
. "$ROOT/scripts/shot-lib.sh"

if [ "${1:-}" = "__display__" ]; then
  bin=$2 out=$3
  start_pyxet_for_shot "$bin"
  # "Hall sensor" is the sixth row (Orvex Relay 4); rows are 14 pixels apart from y = 113.
  xdotool mousemove --window "$window" 250 183 click 1
  sleep 0.5
  import -window "$window" "$out/pyxet-ip-conflict.png"
  exit 0
fi

bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
write_conflict_fleet "$ROOT/sim/fleet.json" "$work/fleet.json"
mkdir -p "${PYXET_SHOT_DIR:-$ROOT/docs}"
export PYXET_BIN=$bin
"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" -- \
  xvfb-run -a -s "-screen 0 1024x768x24" "$ROOT/scripts/screenshot-conflict.sh" __display__ "$bin" "${PYXET_SHOT_DIR:-$ROOT/docs}"
echo "screenshot: ${PYXET_SHOT_DIR:-$ROOT/docs}/pyxet-ip-conflict.png"
