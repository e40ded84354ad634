#!/usr/bin/env bash
# Takes the device-list screenshots of docs/ in the lab, on a virtual X display:
#   docs/pyxet-discovery.png  Pyxet after the discovery of the shipped fleet (first device selected)
#   docs/pyxet-new-devices.png after a second discovery, when more devices answer: the devices
#                              that were not listed before are drawn in blue
# The fleet changes by a second pyxet-sim in the devices' namespace, answering the same
# broadcasts with the devices of docs/fleet-added.json.
# PYXET_SHOT_LANG=cs takes them in Czech (default en).
# Usage: scripts/screenshots.sh [bin folder]   (needs xvfb-run, xdotool and ImageMagick's import)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "__display__" ]; then
  # On the virtual display, inside the lab.
  bin=$2 out=$3
  app=$(mktemp -d)
  second_sim=""
  cleanup() {
    [ -z "$second_sim" ] || kill "$second_sim" 2>/dev/null || true
    [ -z "${pyxet_pid:-}" ] || kill "$pyxet_pid" 2>/dev/null || true
    rm -rf "$app"
  }
  trap cleanup EXIT
  # A copy of the program, so that its settings file is written beside the copy.
  cp "$bin/pyxet" "$app/"
  cp -r "$bin/images" "$bin/locale" "$app/"
  printf '[Setup]\nLang=%s\n' "${PYXET_SHOT_LANG:-en}" >"$app/Pyxet.ini"
  "$app/pyxet" &
  pyxet_pid=$!
  window=$(xdotool search --sync --onlyvisible --name '^Pyxet' | head -n1)
  sleep 3
  # Select one device by hand (the twelfth row of the shipped fleet).
  xdotool mousemove --window "$window" 250 267 click 1
  sleep 0.5
  import -window "$window" "$out/pyxet-discovery.png"

  # The simulator of the lab is the lab shell's pyxet-sim child; a second one joins its network.
  first_sim=$(pgrep -P "$LAB_SHELL" -x pyxet-sim | head -n1)
  [ -n "$first_sim" ] || { echo "screenshots: no pyxet-sim in the lab" >&2; exit 1; }
  python3 -c 'import json,sys; [print(d.get("address", d["ip"])) for d in json.load(open(sys.argv[1]))]' \
    "$ROOT/docs/fleet-added.json" >"$app/addresses"
  nsenter -t "$first_sim" -n -- sh -c '
    while read -r a; do ip addr add "$a/32" dev pyx1 2>/dev/null || true; done <"$1"
    exec "$2" --fleet "$3" --no-http --ready-file "$4" --events /dev/null' \
    sh "$app/addresses" "$bin/pyxet-sim" "$ROOT/docs/fleet-added.json" "$app/ready" &
  second_sim=$!
  for _ in $(seq 100); do [ -s "$app/ready" ] && break; sleep 0.05; done

  # "Find Devices" with F5.
  xdotool windowfocus --sync "$window" || true
  xdotool key --clearmodifiers F5
  sleep 3
  import -window "$window" "$out/pyxet-new-devices.png"
  exit 0
fi

bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
mkdir -p "$ROOT/docs"
export PYXET_BIN=$bin
"$ROOT/scripts/lab.sh" -- bash -c 'LAB_SHELL=$PPID exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" __display__ "$1" "$2"' \
  "$ROOT/scripts/screenshots.sh" "$bin" "$ROOT/docs"
echo "screenshots: $ROOT/docs/pyxet-discovery.png $ROOT/docs/pyxet-new-devices.png"
