#!/usr/bin/env bash
# Takes the transfer windows' screenshots of docs/ in the lab, on a virtual X display: the login
# dialog, the upgrade dialog and the progress window after an upgrade with successes and
# failures, in English and Czech (docs/transfers-{login,upgrade,progress}-{en,cs}.png).
# Usage: scripts/screenshots-transfers.sh [bin folder]   (needs xvfb-run; build gui_transfers_tests)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
mkdir -p "$ROOT/docs"
export PYXET_BIN=$bin PYXET_SHOTS=$ROOT/docs QT_QPA_PLATFORM=xcb PYXET_HTTP_LIMITS=2,1000,3,5
"$ROOT/scripts/lab.sh" --fleet "$ROOT/tests/lab/http_fleet.json" -- \
  xvfb-run -a -s "-screen 0 1024x768x24" "$bin/gui_transfers_tests" Screenshots
echo "screenshots: $ROOT/docs/transfers-*.png"
