#!/usr/bin/env bash
# Takes docs/pyxet-search.png in the lab, on a virtual X display: Pyxet after the discovery of
# the shipped fleet, with "2.14" typed into the search field (it keeps the devices whose
# firmware revision or address holds that text).
# Usage: scripts/screenshot-search.sh [bin folder]   (needs xvfb-run, xdotool and ImageMagick's import)
# PYXET_SHOT_LANG=cs takes it in Czech, PYXET_SHOT_DIR=FOLDER writes it there instead of docs/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/shot-lib.sh
. "$ROOT/scripts/shot-lib.sh"

if [ "${1:-}" = "__display__" ]; then
  bin=$2 out=$3
  start_pyxet_for_shot "$bin"
  # The search field lies left of "Filter by Type:" below the list.
  xdotool mousemove --window "$window" "${SEARCH_X:-380}" "${SEARCH_Y:-383}" click 1
  sleep 0.3
  xdotool type --delay 120 "2.14"
  sleep 1
  import -window "$window" "$out/pyxet-search.png"
  exit 0
fi

bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
mkdir -p "${PYXET_SHOT_DIR:-$ROOT/docs}"
export PYXET_BIN=$bin
"$ROOT/scripts/lab.sh" -- bash -c 'exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" __display__ "$1" "$2"' \
  "$ROOT/scripts/screenshot-search.sh" "$bin" "${PYXET_SHOT_DIR:-$ROOT/docs}"
echo "screenshot: ${PYXET_SHOT_DIR:-$ROOT/docs}/pyxet-search.png"
