#!/usr/bin/env bash
# Remakes the pictures of the windows that the README shows, in English and Russian, on a virtual X
# display: scripts/screenshots.sh [OUTDIR] (default docs/screenshots). Run it by hand after a change
# to the windows or the language packs, look at the pictures, and commit them.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"
./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target sonvert_ui_screenshots
# The windows never start the banner here, so the web engine's sandbox does not come into it.
for entry in English.ini:en Russian.ini:ru; do
  xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
    ./build/default/bin/sonvert_ui_screenshots "$out" "${entry%%:*}" "${entry##*:}"
done
