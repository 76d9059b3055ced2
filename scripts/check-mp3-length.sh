#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The long case of the MP3 length test, too slow for the test suite: a 10-minute file of
# 26,460,000 samples (44,100 Hz stereo, noise over a tone) converted by sonvert-batch on 1, 2 and
# 3 threads of the MP3 library. Each output must decode with ffmpeg and mpg123 to exactly the
# source's samples, pass mp3val and `ffmpeg -v error -xerror`, and the outputs of the parallel
# encoder (2 and 3 threads) must be the same bytes.
#   scripts/check-mp3-length.sh [BIN_DIR]
# BIN_DIR defaults to build/default/bin.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${1:-build/default/bin}"
batch="$bin/sonvert-batch"
[ -x "$batch" ] || { echo "no $batch: build the default preset first" >&2; exit 2; }
for tool in ffmpeg mpg123 mp3val cmp; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)" >&2; exit 2; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-mp3-length: $*" >&2; exit 1; }

samples=26460000
ffmpeg -v error -f lavfi \
  -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*random(0)|0.3*sin(2*PI*660*t)+0.1*random(1):s=44100" \
  -t 600 -c:a pcm_s16le "$work/long.wav"
for threads in 1 2 3; do
  mkdir "$work/$threads"
  start="$SECONDS"
  SONVERT_MP3_THREADS="$threads" "$batch" -f mp3 --mp3-crc -o "$work/$threads" "$work/long.wav" \
    2>"$work/batch.txt" || { cat "$work/batch.txt" >&2; fail "sonvert-batch failed"; }
  out="$work/$threads/long.mp3"
  decoded=$(( $(ffmpeg -v error -xerror -i "$out" -f s16le - | wc -c) / 4 ))
  [ "$decoded" -eq "$samples" ] || fail "$threads threads: ffmpeg decodes $decoded samples"
  decoded=$(( $(mpg123 -q -s "$out" 2>/dev/null | wc -c) / 4 ))
  [ "$decoded" -eq "$samples" ] || fail "$threads threads: mpg123 decodes $decoded samples"
  errors="$(ffmpeg -nostdin -v error -xerror -err_detect crccheck+bitstream+buffer+explode -i "$out" -f null - 2>&1)" ||
    fail "$threads threads: ffmpeg: $errors"
  [ -z "$errors" ] || fail "$threads threads: ffmpeg: $errors"
  faults="$(mp3val "$out" | grep -E '^(WARNING|ERROR)' | grep -v 'No supported tags' || true)"
  [ -z "$faults" ] || fail "$threads threads: mp3val: $faults"
  echo "$threads threads: $samples samples decoded by ffmpeg and mpg123, $((SECONDS - start)) s"
done
cmp -s "$work/2/long.mp3" "$work/3/long.mp3" || fail "2 and 3 threads give different bytes"
echo "check-mp3-length: passed; the parallel encoder's bytes do not depend on the thread count"
