#!/usr/bin/env bash
# Renders the program icon's PNG sizes for the hicolor theme from packaging/icons/*.svg.
# Run after changing the SVG and commit the PNGs (the build itself needs no SVG renderer).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
svg="$ROOT/packaging/icons/org.example.Pyxet.svg"
command -v rsvg-convert >/dev/null || { echo "make-icons.sh: needs rsvg-convert (librsvg2-bin)" >&2; exit 1; }
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$ROOT/packaging/icons/org.example.Pyxet-$size.png"
done
