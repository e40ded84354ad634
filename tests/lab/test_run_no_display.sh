#!/usr/bin/env bash
# Without a display, `make run` (scripts/run.sh) and Pyxet itself say so in one line and end
# with status 1, instead of Qt's abort (status 134 and a page about platform plugins).
# $1: the bin folder.
set -uo pipefail
BIN=$(cd "${1:?bin folder}" && pwd)
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
export PYXET_BIN=$BIN

for empty in unset empty; do
  if [ "$empty" = unset ]; then
    no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
  else
    no_display=(env DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=)
  fi
  "${no_display[@]}" bash "$ROOT/scripts/run.sh" "$BIN" >"$work/out" 2>"$work/err"
  check "run.sh, display variables $empty: status" 1 $?
  check "run.sh, display variables $empty: one line" 1 "$(wc -l <"$work/err")"
  contains "run.sh, display variables $empty: the way out" "xvfb-run make run" "$work/err"
  # The program on its own, in a private namespace (it would look for devices if it started).
  "${no_display[@]}" "$ROOT/tests/netns.sh" "$BIN/pyxet" >"$work/out" 2>"$work/err"
  check "pyxet, display variables $empty: status" 1 $?
  check "pyxet, display variables $empty: one line" 1 "$(wc -l <"$work/err")"
  contains "pyxet, display variables $empty: the reason" "no display" "$work/err"
done

# A platform that needs no display still starts: the check does not stand in its way.
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen timeout 3 "$ROOT/tests/netns.sh" "$BIN/pyxet" \
  >/dev/null 2>"$work/err"
check "pyxet with QT_QPA_PLATFORM=offscreen runs until stopped" 124 $?
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 3 "$ROOT/tests/netns.sh" "$BIN/pyxet" -platform offscreen \
  >/dev/null 2>"$work/err"
check "pyxet -platform offscreen runs until stopped" 124 $?

finish_checks
echo "no-display checks passed"
