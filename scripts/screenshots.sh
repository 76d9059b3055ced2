#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Remakes the pictures of the windows that README.md and docs/windows.md show, in English and
# Russian, and the contact sheet of the main window and the options dialog in every language pack
# (languages.png), on a virtual X display: scripts/screenshots.sh [OUTDIR] (default
# docs/screenshots). Run it by hand after a change to the windows or the language packs, look at
# the pictures, and commit them.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"
./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target sonvert_ui_screenshots
tool=./build/default/bin/sonvert_ui_screenshots
shoot() {
  # The windows never start the banner here, so the web engine's sandbox does not come into it.
  xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb "$tool" "$@"
}
for entry in English.ini:en Russian.ini:ru; do
  shoot "$out" "${entry%%:*}" "${entry##*:}"
done

sheet=$(mktemp -d)
trap 'rm -rf "$sheet"' EXIT
for pack in build/default/bin/SVLanguage/*.ini; do
  name=$(basename "$pack" .ini)
  shoot "$sheet/$name" "$name.ini" "$name" >/dev/null
  # One tile a pack, named by its file: the main window with the options dialog beside it.
  montage "$sheet/$name/main-$name.png" "$sheet/$name/options-$name.png" \
    -tile 2x1 -geometry +6+0 -gravity north -background white "$sheet/$name.png"
done
montage "$sheet"/*.png -set label '%t' -font DejaVu-Sans -pointsize 16 \
  -tile 4x -geometry +12+12 -background white -colors 256 "PNG8:$out/languages.png"
echo "$out/languages.png"
