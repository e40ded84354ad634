#!/usr/bin/env bash
# pyxet-cli's fleet operations against tests/lab/fleet_ops.json: --all with --type and --family,
# --jobs against one after another, and upgrade --verify. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN
exec "$HERE/../../scripts/lab.sh" --fleet "$HERE/fleet_ops.json" -- bash "$HERE/cli_fleet_checks.sh" "$BIN"
