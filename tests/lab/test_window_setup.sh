#!/usr/bin/env bash
# The main window's setup panel against simulated Orvex and HWG devices: apply, restart and
# factory default through the buttons, checked by rediscovery and the simulator's events.
# Offscreen, every question answered Yes. $1: the bin folder.
set -euo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
export PYXET_BIN=$BIN QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/fleet.json" <<'JSON'
[
 {"family": "Orvex", "mac": "00:0A:14:00:02:01", "name": "Hall", "ip": "10.77.6.1", "type": 3, "restart_ms": 800},
 {"family": "Orvex", "mac": "00:0A:14:00:02:02", "name": "Boiler", "ip": "10.77.6.2", "type": 1, "restart_ms": 1200},
 {"family": "Orvex", "mac": "00:0A:14:00:02:03", "name": "Shop floor", "ip": "10.77.6.3", "type": 1,
  "http_port": 8080, "restart_ms": 300, "factory": {"name": "Orvex factory", "http_port": 80}},
 {"family": "HWG", "mac": "00:0A:59:00:02:01", "name": "Poseidon", "ip": "10.77.7.1", "type": 3,
  "dhcp": false, "restart_ms": 300},
 {"family": "HWG", "mac": "00:0A:59:00:02:02", "name": "Damocles", "ip": "10.77.7.2", "type": 2,
  "http_port": 8000, "restart_ms": 300, "factory": {"ip": "10.77.7.20", "http_port": 80}}
]
JSON
exec "$(dirname "$0")/../../scripts/lab.sh" --fleet "$work/fleet.json" -- "$BIN/lab_window_setup"
