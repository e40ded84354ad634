#!/usr/bin/env bash
# `pyxet --version` and `pyxet-cli --version` print the project version of the build (four
# numbers) and end with status 0; the windowed program does so without a display. $1: the bin
# folder.
set -uo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BIN/../CMakeCache.txt")
check "the project version is four numbers" 1 "$(grep -cE '^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' <<<"$version")"

out=$("$ROOT/tests/netns.sh" "$BIN/pyxet-cli" --version)
check "pyxet-cli --version: status" 0 $?
check "pyxet-cli --version" "pyxet-cli $version" "$out"

# The windowed program belongs to every build but one configured without the windows; where it
# belongs, a missing program fails the check.
if ! grep -q '^PYXET_GUI:BOOL=OFF' "$BIN/../CMakeCache.txt"; then
  check "pyxet is built" yes "$([ -x "$BIN/pyxet" ] && echo yes || echo no)"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$ROOT/tests/netns.sh" "$BIN/pyxet" --version 2>&1)
  check "pyxet --version without a display: status" 0 $?
  check "pyxet --version" "Pyxet $version" "$out"
fi
finish_checks
