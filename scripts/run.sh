#!/usr/bin/env bash
# Starts Pyxet where it cannot reach a real network: inside the lab when it exists,
# else inside a bare private network namespace.
set -euo pipefail
BIN=${1:-build/bin}
HERE=$(cd "$(dirname "$0")" && pwd)
if [ -x "$HERE/lab.sh" ]; then
  exec "$HERE/lab.sh" -- "$BIN/pyxet"
fi
exec unshare -rn bash -c 'ip link set lo up; exec "$@"' run "$BIN/pyxet"
