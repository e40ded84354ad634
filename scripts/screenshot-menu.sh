#!/usr/bin/env bash
# Shows the installed menu entry as a desktop's application launcher does: installs into a
# temporary prefix, starts rofi's application menu (drun mode, which reads the .desktop files
# and hicolor icons of $XDG_DATA_DIRS) on a virtual display, types "pyxet" into it and saves the
# screen. Needs rofi, Xvfb and ImageMagick; nothing is started from the menu.
#
#   scripts/screenshot-menu.sh [BUILD_DIR] [OUTPUT.png]     (default: build, docs/menu-entry.png)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
OUT=${2:-$ROOT/docs/menu-entry.png}
for tool in rofi Xvfb import xdotool; do
  command -v "$tool" >/dev/null || { echo "screenshot-menu.sh: needs $tool (apt-get install rofi xvfb imagemagick xdotool)" >&2; exit 1; }
done
work=$(mktemp -d)
cleanup() { [ -n "${rofi_pid:-}" ] && kill "$rofi_pid" 2>/dev/null; [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cmake --install "$BUILD" --prefix "$work/usr" >/dev/null

display=:$((90 + RANDOM % 50))
Xvfb "$display" -screen 0 800x500x24 -nolisten tcp >/dev/null 2>&1 &
x_pid=$!
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY=$display HOME=$work/home XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config
# The prefix first, then the system's folders, whose hicolor theme (index.theme) the icon
# lookup needs; typing "pyxet" leaves this program alone in the list.
export XDG_DATA_DIRS=$work/usr/share:/usr/share
mkdir -p "$HOME"
rofi -show drun -show-icons -icon-theme hicolor -drun-display-format '{name}  <span weight="light" size="small"><i>{generic}</i></span>' \
  -theme-str 'window {width: 520px;} element-icon {size: 48px;} listview {lines: 3;}' \
  -font 'DejaVu Sans 14' >/dev/null 2>&1 &
rofi_pid=$!
sleep 2
xdotool type --delay 80 pyxet
sleep 1
import -window root "$OUT"
echo "saved $OUT"
