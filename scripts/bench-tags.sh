#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What copying tags costs: 2,000 files of 0.05 s (44,100 Hz stereo, with a LIST/INFO chunk) to
# MP3 and to Ogg Vorbis with `sonvert-batch --jobs 2`, measured alternately with a binary without
# tag copying (OLD_BIN_DIR) and this one; prints the median wall times and their ratio.
#   scripts/bench-tags.sh OLD_BIN_DIR [BIN_DIR] [RUNS]
# BIN_DIR defaults to build/default/bin, RUNS to 5. Exits with 1 when a ratio passes 1.10.
set -euo pipefail
cd "$(dirname "$0")/.."
old="${1:?usage: $0 OLD_BIN_DIR [BIN_DIR] [RUNS]}/sonvert-batch"
new="${2:-build/default/bin}/sonvert-batch"
runs="${3:-5}"
for batch in "$old" "$new"; do
  [ -x "$batch" ] || { echo "no $batch" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out"
ffmpeg -v error -y -f lavfi -i "sine=f=440:d=0.05:r=44100" -ac 2 -c:a pcm_s16le \
  -metadata title="Пример 例" -metadata artist="Artist" -metadata album="Album" \
  -metadata date=2024-05-06 -metadata track=1 -metadata comment="A comment" "$work/one.wav"
for i in $(seq -w 1 2000); do cp "$work/one.wav" "$work/in/t$i.wav"; done

measure() {  # binary format
  rm -f "$work"/out/*
  /usr/bin/time -f "%e" -o "$work/time.txt" "$1" -f "$2" -j 2 -o "$work/out" "$work/in" \
    >/dev/null 2>"$work/stderr.txt" || { echo "failed: $1" >&2; tail -3 "$work/stderr.txt" >&2; exit 1; }
  cat "$work/time.txt"
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

status=0
for format in mp3 ogg; do
  : >"$work/old.txt"; : >"$work/new.txt"
  for ((i = 0; i < runs; i++)); do
    measure "$old" "$format" >>"$work/old.txt"
    measure "$new" "$format" >>"$work/new.txt"
  done
  a="$(median <"$work/old.txt")"
  b="$(median <"$work/new.txt")"
  ratio="$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.3f", b / a}')"
  echo "$format: without tags ${a} s, with tags ${b} s (median of $runs), ratio $ratio"
  awk -v r="$ratio" 'BEGIN {exit !(r > 1.10)}' && status=1
done
exit "$status"
