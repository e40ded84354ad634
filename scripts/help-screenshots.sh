#!/usr/bin/env bash
# Takes the user guide's pictures of the real windows in the lab, on a virtual X display, in
# English and Czech: help/<lang>/images/*.png (main window, setup panel, login,
# progress, plan dialog and its results, Log Report, about box, help window, the compare dialog,
# its drift view and the preview before writing, the upgrade dialog with a rollout, the watched
# list). PYXET_SHOT_SLOTS=CompareScreenshots takes only the compare's three, RolloutScreenshots
# only the rollout's, WatchScreenshots only the watch's. The help window
# shows the help files of the build, so run it once more after the pages changed much. The
# pictures are stored with a palette of 256 colours to keep the repository small.
# Usage: scripts/help-screenshots.sh [bin folder]   (needs xvfb-run and ImageMagick; build
#        help_screenshots, pyxet-sim and helpfiles first)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "${1:-$ROOT/build/bin}" && pwd)
export PYXET_BIN=$bin PYXET_SHOTS=$ROOT/help QT_QPA_PLATFORM=xcb PYXET_HTTP_LIMITS=2,1000,3,5
slots=" ${PYXET_SHOT_SLOTS:-Screenshots CompareScreenshots RolloutScreenshots WatchScreenshots} "
# The rollout's picture in a lab of its own: units of two kinds.
shipped=${slots/ RolloutScreenshots / }
if [ -n "${shipped// /}" ]; then
  "$ROOT/scripts/lab.sh" -- xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/help_screenshots" $shipped
fi
if [ "$shipped" != "$slots" ]; then
  "$ROOT/scripts/lab.sh" --fleet "$ROOT/tests/lab/rollout_fleet.json" -- \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/help_screenshots" RolloutScreenshots
fi
for f in "$ROOT"/help/{en,cs}/images/*.png; do
  convert "$f" -strip -colors 256 "PNG8:$f"
done
echo "screenshots: $ROOT/help/en/images/ $ROOT/help/cs/images/"
