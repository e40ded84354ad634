#!/usr/bin/env bash
# THTTPModule's requests, login retry, progress and limits against the simulated web servers of
# tests/lab/http_fleet.json. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
export PYXET_BIN=$BIN
exec "$HERE/../../scripts/lab.sh" --fleet "$HERE/http_fleet.json" -- "$BIN/http_module_tests"
