#!/usr/bin/env bash
# Takes docs/pyxet-interfaces-menu.png in the lab on a virtual X display: Pyxet with devices
# behind two interfaces and the "Find Devices" drop-down open (All interfaces, one item per
# interface, Find at Addresses...). Two devices of the shipped fleet are given one configured
# address, so the picture also shows a conflict pair.
# Usage: scripts/screenshot-interfaces.sh [bin folder]   (needs xvfb-run, xdotool and ImageMagick)
# PYXET_SHOT_LANG=cs takes it in Czech, PYXET_SHOT_DIR=FOLDER writes it there instead of docs/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "__display__" ]; then
  bin=$2 out=$3
  app=$(mktemp -d)
  trap '[ -z "${pyxet_pid:-}" ] || kill "$pyxet_pid" 2>/dev/null || true; rm -rf "$app"' EXIT
  cp "$bin/pyxet" "$app/"
  cp -r "$bin/images" "$bin/locale" "$app/"
  printf '[Setup]\nLang=%s\n' "${PYXET_SHOT_LANG:-en}" >"$app/Pyxet.ini"
  "$app/pyxet" &
  pyxet_pid=$!
  window=$(xdotool search --sync --onlyvisible --name '^Pyxet' | head -n1)
  sleep 3
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
python3 - "$ROOT/sim/fleet.json" "$work/fleet.json" <<'PY'
import json, sys
fleet = json.load(open(sys.argv[1], encoding="utf-8"))
for d in fleet:
    if d["mac"] in ("00:0A:59:00:10:02", "00:0A:59:00:10:04"):  # Door control, Cellar
        d["address"] = d["ip"]
        d["ip"] = "10.77.1.10"
json.dump(fleet, open(sys.argv[2], "w", encoding="utf-8"), ensure_ascii=False)
PY
export PYXET_BIN=$bin
"$ROOT/scripts/lab.sh" --fleet "$work/fleet.json" --fleet2 "$ROOT/tests/lab/net2_fleet.json" --routed "$ROOT/tests/lab/routed_fleet.json" -- \
  xvfb-run -a -s "-screen 0 1024x768x24" "$0" __display__ "$bin" "${PYXET_SHOT_DIR:-$ROOT/docs}"
echo "screenshot: ${PYXET_SHOT_DIR:-$ROOT/docs}/pyxet-interfaces-menu.png"
