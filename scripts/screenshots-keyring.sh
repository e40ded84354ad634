#!/usr/bin/env bash
# Takes the pictures of the login dialog with "Remember in the keyring" and of "Saved Logins..."
# in the lab, on a virtual X display and a private keyring, in English and Czech
# (docs/keyring-{login,saved-logins}-{en,cs}.png).
# Usage: scripts/screenshots-keyring.sh [bin folder]   (needs xvfb-run; build gui_keyring_tests)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
mkdir -p "$ROOT/docs"
export PYXET_BIN=$bin PYXET_SHOTS=$ROOT/docs QT_QPA_PLATFORM=xcb PYXET_HTTP_LIMITS=2,1000,8,8
"$ROOT/scripts/lab.sh" --fleet "$ROOT/tests/lab/keyring_fleet.json" -- \
  "$ROOT/tests/keyring/session.sh" xvfb-run -a -s "-screen 0 1024x768x24" "$bin/gui_keyring_tests" Screenshots
echo "screenshots: $ROOT/docs/keyring-*.png"
