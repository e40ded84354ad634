#!/usr/bin/env bash
# Runs every benchmark program in the bin folder; each prints "NAME VALUE UNIT" lines.
set -euo pipefail
BIN=${1:-build/bin}
for b in "$BIN"/bench_*; do
  [ -x "$b" ] || continue
  "$b"
done
