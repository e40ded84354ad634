#!/usr/bin/env bash
# Takes docs/pyxet-ip-conflict.png in the lab, on a virtual X display: the shipped fleet, where
# two HWG devices report the configured address of the Orvex "Hall sensor" (10.77.1.10). The
# three rows stand out; "Hall sensor" is selected and its details say which MACs share its
# address.
# Usage: scripts/screenshot-conflict.sh [bin folder]   (needs xvfb-run, xdotool and ImageMagick's import)
# PYXET_SHOT_LANG=cs takes it in Czech, PYXET_SHOT_DIR=FOLDER writes it there instead of docs/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "__display__" ]; then
  bin=$2 out=$3
  app=$(mktemp -d)
  cleanup() {
    [ -z "${pyxet_pid:-}" ] || kill "$pyxet_pid" 2>/dev/null || true
    rm -rf "$app"
  }
  trap cleanup EXIT
  cp "$bin/pyxet" "$app/"
  cp -r "$bin/images" "$bin/locale" "$app/"
  printf '[Setup]\nLang=%s\n' "${PYXET_SHOT_LANG:-en}" >"$app/Pyxet.ini"
  "$app/pyxet" &
  pyxet_pid=$!
  window=$(xdotool search --sync --onlyvisible --name '^Pyxet' | head -n1)
  sleep 3
  # "Hall sensor" is the sixth row (Orvex Relay 4); rows are 14 pixels apart from y = 113.
  xdotool mousemove --window "$window" 250 183 click 1
  sleep 0.5
  import -window "$window" "$out/pyxet-ip-conflict.png"
  exit 0
fi

bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$ROOT/sim/fleet.json" "$work/fleet.json" <<'PY'
import json, sys
fleet = json.load(open(sys.argv[1], encoding="utf-8"))
for d in fleet:
    if d["mac"] in ("00:0A:59:00:10:02", "00:0A:59:00:10:04"):  # Door control, Cellar
        d["address"] = d["ip"]
        d["ip"] = "10.77.1.10"
json.dump(fleet, open(sys.argv[2], "w", encoding="utf-8"), ensure_ascii=False)
PY
mkdir -p "${PYXET_SHOT_DIR:-$ROOT/docs}"
export PYXET_BIN=$bin
"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" -- \
  xvfb-run -a -s "-screen 0 1024x768x24" "$ROOT/scripts/screenshot-conflict.sh" __display__ "$bin" "${PYXET_SHOT_DIR:-$ROOT/docs}"
echo "screenshot: ${PYXET_SHOT_DIR:-$ROOT/docs}/pyxet-ip-conflict.png"
