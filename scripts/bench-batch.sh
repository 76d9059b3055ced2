#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A batch of 16 files of 30 s (44,100 Hz stereo) to MP3 at 128 kbit/s, measured alternately with
# `sonvert-batch --jobs 1`, `sonvert-batch --jobs 2` and `xargs -P2` over `lame -b 128`; prints the
# median wall times, their ratios and the peak memory of --jobs 2 (for 4 and for 16 files).
#   scripts/bench-batch.sh [BIN_DIR] [RUNS]
# BIN_DIR defaults to build/default/bin, RUNS to 3. Exits with 1 when --jobs 2 takes more than 0.60
# of --jobs 1 or more than 1.05 of xargs; both aims assume 2 otherwise idle cores.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${1:-build/default/bin}"
runs="${2:-3}"
batch="$bin/sonvert-batch"
[ -x "$batch" ] || { echo "no $batch: build the default preset first" >&2; exit 2; }
for tool in lame ffmpeg xargs /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out" "$work/four"
for i in $(seq -w 1 16); do
  # A different tone in each file, with noise, so that no two files cost the same.
  ffmpeg -v error -y -f lavfi \
    -i "aevalsrc=0.3*sin(2*PI*(300+10*$i)*t)+0.1*random(0)|0.3*sin(2*PI*(450+10*$i)*t)+0.1*random(1):s=44100:d=30" \
    -c:a pcm_s16le "$work/in/t$i.wav"
done
cp "$work"/in/t0[1-4].wav "$work/four/"

# Prints "wall-seconds peak-KiB cpu-seconds" of one command. CPU seconds above wall seconds show
# the work spread over the cores, also on a machine too busy for the wall times to say so.
measure() {
  /usr/bin/time -f "%e %M %U %S" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || {
    echo "failed: $*" >&2; cat "$work/stderr.txt" >&2; exit 1; }
  awk '{printf "%s %s %.2f\n", $1, $2, $3 + $4}' "$work/time.txt"
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

ours() {  # jobs folder
  rm -f "$work"/out/*.mp3
  measure "$batch" -f mp3 --mp3-bitrate-index 3 --no-mp3-crc -j "$1" -o "$work/out" "$2"
}
theirs() {
  rm -f "$work"/in/*.mp3
  measure sh -c 'printf "%s\0" "$1"/*.wav | xargs -0 -P2 -n1 lame --quiet -b 128' _ "$work/in"
}

: >"$work/one.txt"; : >"$work/two.txt"; : >"$work/xargs.txt"; : >"$work/four.txt"
for ((i = 0; i < runs; i++)); do
  # Alternate, so that a change in the machine's load falls on all three alike.
  ours 1 "$work/in" >>"$work/one.txt"
  ours 2 "$work/in" >>"$work/two.txt"
  theirs >>"$work/xargs.txt"
  ours 2 "$work/four" >>"$work/four.txt"
done
one="$(cut -d' ' -f1 "$work/one.txt" | median)"
two="$(cut -d' ' -f1 "$work/two.txt" | median)"
xargs_time="$(cut -d' ' -f1 "$work/xargs.txt" | median)"
two_rss="$(cut -d' ' -f2 "$work/two.txt" | median)"
four_rss="$(cut -d' ' -f2 "$work/four.txt" | median)"
ratio_one="$(awk -v a="$two" -v b="$one" 'BEGIN {printf "%.2f", a / b}')"
ratio_xargs="$(awk -v a="$two" -v b="$xargs_time" 'BEGIN {printf "%.2f", a / b}')"

echo "16 files of 30 s to MP3 128 kbit/s, medians of $runs runs, $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
cpu() { cut -d' ' -f3 "$work/$1.txt" | median; }
echo "| command | wall s | CPU s | peak KiB |"
echo "|---|---|---|---|"
echo "| \`sonvert-batch --jobs 1\` | $one | $(cpu one) | $(cut -d' ' -f2 "$work/one.txt" | median) |"
echo "| \`sonvert-batch --jobs 2\` | $two | $(cpu two) | $two_rss (4 files: $four_rss) |"
echo "| \`xargs -P2 lame -b 128\` | $xargs_time | $(cpu xargs) | $(cut -d' ' -f2 "$work/xargs.txt" | median) (one lame) |"
echo "--jobs 2 / --jobs 1 = $ratio_one (aim: at most 0.60); --jobs 2 / xargs = $ratio_xargs (aim: at most 1.05)"
awk -v a="$ratio_one" -v b="$ratio_xargs" 'BEGIN {exit !(a <= 0.60 && b <= 1.05)}' || {
  echo "an aim was missed" >&2; exit 1; }
