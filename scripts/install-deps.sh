#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package that building, running and testing the program needs, and any
# further packages named as arguments (the package script's tools).
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git
  # toolkit
  qt6-base-dev libgl-dev
  # the banner: an embedded web engine, and the generator of its movie
  qt6-webengine-dev python3
  # the toolbar glyphs are SVG; the installed icons are rendered from SVG at build time
  qt6-svg-dev libqt6svg6 librsvg2-bin
  # codecs behind the encoder libraries
  libmp3lame-dev libvorbis-dev libogg-dev libavcodec-dev libavformat-dev libswresample-dev libavutil-dev
  # the tags copied from the sources into the outputs
  libtag1-dev
  # the second reader of sonvert-batch (24-bit, float, extensible WAVE, AIFF, FLAC, ...)
  libsndfile1-dev
  # tests and benchmarks (locales: the sources a test builds a decimal-comma locale from)
  libgtest-dev libgmock-dev libbenchmark-dev ffmpeg lame vorbis-tools python3-mutagen flac time xvfb xauth locales
  # independent MP3 readers for the length tests; sox makes some of the second reader's test files
  mp3val mpg123 sox
  # fuzzing: clang and its run-time libraries, libFuzzer among them
  clang libclang-rt-14-dev
  # fonts: a Tahoma-compatible face, and faces for the language packs' scripts (Chinese; Japanese
  # and Korean; Greek and Vietnamese; Cyrillic)
  fonts-wine fonts-wqy-microhei fonts-noto-cjk fonts-liberation2 fonts-dejavu-core
  # the screenshots' contact sheet of every language pack
  imagemagick
)
packages+=("$@")

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

# The banner's Flash player comes from the npm registry at build time; Debian's Node.js serves
# where the machine has no npm of its own.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps.sh: installing ${#missing[@]} Debian packages and what they need: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
