#!/usr/bin/env bash
# Starts Pyxet where it cannot reach a real network: inside the lab when it exists,
# else inside a bare private network namespace.
set -euo pipefail
BIN=${1:-build/bin}
HERE=$(cd "$(dirname "$0")" && pwd)
# The window needs a display: without one Qt would abort with a page of plugin messages.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Pyxet needs a desktop session to show its window (no DISPLAY or WAYLAND_DISPLAY is set); without one, try: xvfb-run make run" >&2
  exit 1
fi
if [ -x "$HERE/lab.sh" ]; then
  exec "$HERE/lab.sh" -- "$BIN/pyxet"
fi
exec unshare -rn bash -c 'ip link set lo up; exec "$@"' run "$BIN/pyxet"
