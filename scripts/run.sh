#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the program needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "run.sh: 1/3 installing the Debian packages the build needs (the first time about 480 MB)"
./scripts/install-deps.sh
echo "run.sh: 2/3 building the program"
./scripts/build.sh default
echo "run.sh: 3/3 starting build/default/bin/sonvert"
# The web engine's sandbox refuses to run for root.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
exec ./build/default/bin/sonvert "$@"
