#!/usr/bin/env bash
# The window's logins in the keyring (offscreen) against tests/lab/keyring_fleet.json, on a
# private keyring (tests/keyring/session.sh) and on a bus without one; the pictures of the login
# dialog and "Saved Logins..." are taken too, into a folder of this run. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
if [ ! -e "$BIN/gui_keyring_tests" ] && grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt" 2>/dev/null; then
  echo "no windows in this build: nothing to test"
  exit 0
fi
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
export PYXET_BIN=$BIN QT_QPA_PLATFORM=offscreen PYXET_HTTP_LIMITS=2,1000,8,8 PYXET_SHOTS=$shots
"$HERE/../../scripts/lab.sh" --fleet "$HERE/keyring_fleet.json" -- \
  "$HERE/../keyring/session.sh" "$BIN/gui_keyring_tests"
"$HERE/../../scripts/lab.sh" --fleet "$HERE/keyring_fleet.json" -- \
  "$HERE/../keyring/session.sh" --no-keyring "$BIN/gui_keyring_tests"
for name in keyring-login keyring-saved-logins; do
  for lang in en cs; do
    [ -s "$shots/$name-$lang.png" ] || { echo "FAIL: no picture $name-$lang.png"; exit 1; }
  done
done
