#!/usr/bin/env bash
# pyxet-cli upgrade, backup, restore, save and load against the simulated web servers of
# tests/lab/http_fleet.json, checked against what the devices received (the events file).
# $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN
exec "$HERE/../../scripts/lab.sh" --fleet "$HERE/http_fleet.json" -- bash "$HERE/cli_transfers_checks.sh" "$BIN"
