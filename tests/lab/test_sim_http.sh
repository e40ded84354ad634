#!/usr/bin/env bash
# The simulated devices' web server through the curl command line, inside the lab with the test
# fleet. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN
exec "$HERE/../../scripts/lab.sh" --fleet "$HERE/sim_fleet.json" -- bash "$HERE/sim_http_checks.sh"
