#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds one CMake preset (default: "default"), showing Ninja's progress.
# SONVERT_BANNER_PLAYER=none (or a folder) builds without fetching the banner's player from npm.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
say() { echo "build.sh: $*"; }

configure=(cmake --preset "$preset")
if [ -n "${SONVERT_BANNER_PLAYER:-}" ]; then
  configure+=("-DSONVERT_BANNER_PLAYER=$SONVERT_BANNER_PLAYER")
fi
# The first build of the default preset took 984 s of CPU time (no ccache): about 8 minutes on two
# idle cores, more on a busy machine.
if [ ! -f "build/$preset/.ninja_log" ]; then
  case "$preset" in
    default) say "building the preset default for the first time: about 9 minutes on two idle cores" ;;
    *) say "building the preset $preset for the first time" ;;
  esac
else
  say "building the preset $preset (only what changed)"
fi

# CMake's own chatter only when it fails; its errors then in full.
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
say "configuring: ${configure[*]}"
if ! "${configure[@]}" >"$log" 2>&1; then
  cat "$log" >&2
  say "configuring failed" >&2
  exit 1
fi
# Files done of all, per cent and seconds so far, on one line redrawn on a terminal and a line per
# step elsewhere; a failing step's command and output come in full.
export NINJA_STATUS="${NINJA_STATUS:-[%f/%t %p %es] }"
say "compiling (the banner's player comes from the npm registry unless SONVERT_BANNER_PLAYER=none)"
cmake --build --preset "$preset"
say "built into build/$preset/bin"
