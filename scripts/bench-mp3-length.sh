#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What completing the MP3 Info frame costs: two builds of sonvert-batch, measured alternately on
# 2,000 files of 0.05 s (44,100 Hz stereo, each with the silence tail) with --jobs 2, and on one
# 10-minute file; prints the median wall times side by side and their ratios.
#   scripts/bench-mp3-length.sh BEFORE_BIN_DIR [AFTER_BIN_DIR] [RUNS]
# AFTER_BIN_DIR defaults to build/default/bin, RUNS to 3. Exits with 1 when the batch takes more
# than 1.10 of the time before, or the long file more than 1.01.
set -euo pipefail
cd "$(dirname "$0")/.."
before="${1:?usage: scripts/bench-mp3-length.sh BEFORE_BIN_DIR [AFTER_BIN_DIR] [RUNS]}"
after="${2:-build/default/bin}"
runs="${3:-3}"
for bin in "$before" "$after"; do
  [ -x "$bin/sonvert-batch" ] || { echo "no $bin/sonvert-batch" >&2; exit 2; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/short" "$work/long" "$work/out"
ffmpeg -v error -f lavfi -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*random(0):s=44100:d=0.05" -ac 2 \
  -c:a pcm_s16le "$work/short/s0000.wav"
for i in $(seq -w 1 1999); do cp "$work/short/s0000.wav" "$work/short/s$i.wav"; done
ffmpeg -v error -f lavfi -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*random(0)|0.3*sin(2*PI*660*t):s=44100" \
  -t 600 -c:a pcm_s16le "$work/long/long.wav"

seconds() {  # bin folder
  rm -rf "$work/out"/*
  /usr/bin/time -f "%e" -o "$work/time.txt" "$1/sonvert-batch" -f mp3 -j 2 -o "$work/out" "$2" \
    2>"$work/stderr.txt" || { cat "$work/stderr.txt" >&2; exit 1; }
  cat "$work/time.txt"
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
for name in short_before short_after long_before long_after; do : >"$work/$name.txt"; done
for ((i = 0; i < runs; i++)); do
  seconds "$before" "$work/short" >>"$work/short_before.txt"
  seconds "$after" "$work/short" >>"$work/short_after.txt"
  seconds "$before" "$work/long" >>"$work/long_before.txt"
  seconds "$after" "$work/long" >>"$work/long_after.txt"
done
row() {
  local b a
  b="$(median <"$work/$1_before.txt")"
  a="$(median <"$work/$1_after.txt")"
  awk -v n="$2" -v b="$b" -v a="$a" 'BEGIN {printf "| %s | %s | %s | %.3f |\n", n, b, a, a / b}'
}
echo "medians of $runs runs, $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "| batch | before s | after s | after / before |"
echo "|---|---|---|---|"
short="$(row short "2,000 files of 0.05 s, --jobs 2")"
long="$(row long "one 10-minute file")"
echo "$short"
echo "$long"
awk -v s="$(echo "$short" | awk -F'|' '{print $5}')" -v l="$(echo "$long" | awk -F'|' '{print $5}')" \
  'BEGIN {exit !(s <= 1.10 && l <= 1.01)}' || { echo "an aim was missed" >&2; exit 1; }
