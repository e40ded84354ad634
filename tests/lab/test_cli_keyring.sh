#!/usr/bin/env bash
# pyxet-cli's logins in the keyring against the simulated devices of tests/lab/keyring_fleet.json,
# whose downloads want a login too: once on a private session bus with a keyring of its own
# (tests/keyring/session.sh), once on one with no keyring. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN
for mode in keyring none; do
  session=("$HERE/../keyring/session.sh")
  [ "$mode" = none ] && session+=(--no-keyring)
  echo "== $mode"
  "$HERE/../../scripts/lab.sh" --fleet "$HERE/keyring_fleet.json" -- \
    "${session[@]}" bash "$HERE/cli_keyring_checks.sh" "$BIN" "$mode"
done
