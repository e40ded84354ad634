#!/usr/bin/env bash
# Runs every benchmark program in the bin folder; each prints "NAME VALUE UNIT" lines.
# Those that start the lab make their own namespace; the others run inside a bare private one,
# so that nothing they open can reach a real network.
set -euo pipefail
BIN=${1:-build/bin}
HERE=$(cd "$(dirname "$0")" && pwd)
for b in "$BIN"/bench_*; do
  [ -x "$b" ] || continue
  case "$(basename "$b")" in
    bench_lab_*) "$b" ;;
    *) QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$HERE/../tests/netns.sh" "$b" ;;
  esac
done
