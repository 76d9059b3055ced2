#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the tests need, then builds and runs every test: plainly, under AddressSanitizer
# with UndefinedBehaviorSanitizer, and the threaded tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "test.sh: installing the Debian packages the tests need (the first time about 480 MB)"
./scripts/install-deps.sh

# The sanitizers' options and the offscreen platform come with the test presets.
presets=("$@")
if [ "${#presets[@]}" -eq 0 ]; then
  presets=(default asan tsan)
fi
echo "test.sh: building and testing the presets ${presets[*]}, one after the other"
for preset in "${presets[@]}"; do
  echo "== $preset"
  ./scripts/build.sh "$preset"
  ctest --preset "$preset" -j2
done
