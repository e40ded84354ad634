#!/usr/bin/env bash
# Takes pictures of the windows in each colour scheme (Utilities -> "Colour Scheme": System,
# Light, Dark) in the lab, on a virtual X display, to look at: the main window with a new device
# and an address conflict, the progress window after an upgrade, the Log Report. Not the guide's
# pictures: they go to a folder of their own (default /tmp/colours-shots), named
# <scheme>-<window>.png. PYXET_SHOT_LANG=cs takes them in Czech.
# Usage: scripts/colour-screenshots.sh [bin folder] [output folder]   (needs xvfb-run; build
#        colour_screenshots and pyxet-sim first)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
out=${2:-/tmp/colours-shots}
mkdir -p "$out"
. "$ROOT/scripts/shot-lib.sh"
fleet=$(mktemp)
trap 'rm -f "$fleet"' EXIT
write_conflict_fleet "$ROOT/sim/fleet.json" "$fleet"
export PYXET_BIN=$bin PYXET_SHOTS=$out QT_QPA_PLATFORM=xcb PYXET_HTTP_LIMITS=2,1000,3,5
"$ROOT/scripts/lab.sh" --fleet "$fleet" -- xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/colour_screenshots" Screenshots
echo "screenshots: $out"
