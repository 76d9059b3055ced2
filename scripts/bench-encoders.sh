#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Converts a 10-minute 44,100 Hz stereo WAVE file with sonvert-batch and, side by side, with the
# command-line encoders at the same settings; prints the median wall time and peak memory of each.
# MP3, Ogg and WMA are also converted with SONVERT_MP3_THREADS=1 / SONVERT_OGG_THREADS=1 /
# SONVERT_WMA_THREADS=1 (one encoder per stream), to show what encoding one stream on every core
# gains and costs; for WMA also two long files at once (--jobs 2), with and without the pool, which must not be slower.
#   scripts/bench-encoders.sh [BIN_DIR] [RUNS] [FORMATS]
# BIN_DIR defaults to build/default/bin, RUNS to 5, FORMATS to "mp3 ogg wma". Wall time is what counts; the CPU time beside it
# tells a slower pump from a busy machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${1:-build/default/bin}"
runs="${2:-5}"
formats="${3:-mp3 ogg wma}"
load_start="$(cut -d' ' -f1-3 /proc/loadavg)"
batch="$bin/sonvert-batch"
[ -x "$batch" ] || { echo "no $batch: build the default preset first" >&2; exit 2; }
for tool in lame oggenc ffmpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A tone with noise in each channel: steady enough to compare, busy enough to make the encoders work.
make_input() {  # seconds path
  ffmpeg -v error -y -f lavfi \
    -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*random(0)|0.3*sin(2*PI*554*t)+0.1*random(1):s=44100:d=$1" \
    -c:a pcm_s16le "$2"
}
make_input 600 "$work/long.wav"
make_input 60 "$work/short.wav"
cp "$work/long.wav" "$work/long2.wav"

# Prints "wall-seconds peak-KiB cpu-seconds" of one command.
measure() {
  /usr/bin/time -f "%e %M %U %S" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || {
    echo "failed: $*" >&2; cat "$work/stderr.txt" >&2; exit 1; }
  awk '{printf "%s %s %.2f\n", $1, $2, $3 + $4}' "$work/time.txt"
}

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

ours() {  # format input
  case "$1" in
    mp3) measure "$batch" -f mp3 --mp3-bitrate-index 3 -o "$work" "$2" ;;
    ogg) measure "$batch" -f ogg --ogg-quality-index 3 -o "$work" "$2" ;;
    wma) measure "$batch" -f wma --wma-bitrate-index 3 -o "$work" "$2" ;;
  esac
}
# The library with one encoder per stream, as before it used every core.
single() {  # format input
  case "$1" in
    mp3) SONVERT_MP3_THREADS=1 measure "$batch" -f mp3 --mp3-bitrate-index 3 -o "$work" "$2" ;;
    ogg) SONVERT_OGG_THREADS=1 measure "$batch" -f ogg --ogg-quality-index 3 -o "$work" "$2" ;;
    wma) SONVERT_WMA_THREADS=1 measure "$batch" -f wma --wma-bitrate-index 3 -o "$work" "$2" ;;
  esac
}
# Two long WMA files at once; $1 is SONVERT_WMA_THREADS ("" for the pool).
pair() {
  SONVERT_WMA_THREADS="$1" measure "$batch" -j2 -f wma --wma-bitrate-index 3 -o "$work" \
    "$work/long.wav" "$work/long2.wav"
}
theirs() {  # format input
  case "$1" in
    mp3) measure lame --quiet -b 128 "$2" "$work/theirs.mp3" ;;
    ogg) measure oggenc -Q -q 4 -o "$work/theirs.ogg" "$2" ;;
    wma) measure ffmpeg -v error -y -i "$2" -c:a wmav2 -b:a 96k "$work/theirs.wma" ;;
  esac
}

echo "| format | settings | reference | wall s, ours | wall s, reference | CPU s, ours | CPU s, reference | peak KiB, ours (10 min / 1 min) | peak KiB, reference |"
echo "|---|---|---|---|---|---|---|---|---|"
status=0
mp3_line=""
ogg_line=""
wma_line=""
for format in $formats; do
  : >"$work/ours.txt"; : >"$work/theirs.txt"; : >"$work/single.txt"
  : >"$work/pair.txt"; : >"$work/pair1.txt"
  for ((i = 0; i < runs; i++)); do
    # Alternate, so that neither side always runs on a warm or a cold cache.
    ours "$format" "$work/long.wav" >>"$work/ours.txt"
    theirs "$format" "$work/long.wav" >>"$work/theirs.txt"
    single "$format" "$work/long.wav" >>"$work/single.txt"
    if [ "$format" = wma ]; then
      pair "" >>"$work/pair.txt"
      pair 1 >>"$work/pair1.txt"
    fi
  done
  short_rss="$(ours "$format" "$work/short.wav" | cut -d' ' -f2)"
  our_time="$(cut -d' ' -f1 "$work/ours.txt" | median)"
  their_time="$(cut -d' ' -f1 "$work/theirs.txt" | median)"
  our_cpu="$(cut -d' ' -f3 "$work/ours.txt" | median)"
  their_cpu="$(cut -d' ' -f3 "$work/theirs.txt" | median)"
  our_rss="$(cut -d' ' -f2 "$work/ours.txt" | median)"
  their_rss="$(cut -d' ' -f2 "$work/theirs.txt" | median)"
  case "$format" in
    mp3) settings="128 kbit/s"; reference="lame -b 128" ;;
    ogg) settings="quality 4"; reference="oggenc -q 4" ;;
    wma) settings="96,000 bit/s"; reference="ffmpeg -c:a wmav2 -b:a 96k" ;;
  esac
  echo "| $format | $settings | \`$reference\` | $our_time | $their_time | $our_cpu | $their_cpu | $our_rss / $short_rss | $their_rss |"
  # One encoder per stream, for what encoding one stream on every core gains and costs.
  single_time="$(cut -d' ' -f1 "$work/single.txt" | median)"
  single_cpu="$(cut -d' ' -f3 "$work/single.txt" | median)"
  single_rss="$(cut -d' ' -f2 "$work/single.txt" | median)"
  variable="SONVERT_$(echo "$format" | tr a-z A-Z)_THREADS"
  echo "| $format | $settings, \`$variable=1\` | \`$reference\` | $single_time | $their_time | $single_cpu | $their_cpu | $single_rss | $their_rss |"
  if [ "$format" = mp3 ]; then
    mp3_line="$(awk -v t="$our_time" -v l="$their_time" -v s="$single_time" -v c="$our_cpu" \
      -v sc="$single_cpu" -v m="$our_rss" 'BEGIN {
        printf "mp3 on every core: wall %.2f of lame and %.2f of SONVERT_MP3_THREADS=1 (aim: at most 0.58), ", t / l, t / s
        printf "CPU %.3f of SONVERT_MP3_THREADS=1 (aim: at most 1.06), peak %d KiB (aim: at most 30720)", c / sc, m }')"
  fi
  if [ "$format" = ogg ]; then
    ogg_line="$(awk -v t="$our_time" -v o="$their_time" -v s="$single_time" -v c="$our_cpu" \
      -v oc="$their_cpu" -v m="$our_rss" 'BEGIN {
        printf "ogg on every core: wall %.2f of oggenc -q 4 (aim: at most 0.58) and %.2f of SONVERT_OGG_THREADS=1, ", t / o, t / s
        printf "CPU %.3f of oggenc -q 4 (aim: at most 1.10), peak %d KiB (aim: at most 40960)", c / oc, m }')"
  fi
  if [ "$format" = wma ]; then
    pair_time="$(cut -d' ' -f1 "$work/pair.txt" | median)"
    pair1_time="$(cut -d' ' -f1 "$work/pair1.txt" | median)"
    pair_cpu="$(cut -d' ' -f3 "$work/pair.txt" | median)"
    pair1_cpu="$(cut -d' ' -f3 "$work/pair1.txt" | median)"
    echo "| wma | two files, \`--jobs 2\` | \`SONVERT_WMA_THREADS=1\`, \`--jobs 2\` | $pair_time | $pair1_time | $pair_cpu | $pair1_cpu | $(cut -d' ' -f2 "$work/pair.txt" | median) | $(cut -d' ' -f2 "$work/pair1.txt" | median) |"
    wma_line="$(awk -v t="$our_time" -v s="$single_time" -v m="$our_rss" -v p="$pair_time" \
      -v p1="$pair1_time" 'BEGIN {
        printf "wma on every core: wall %.2f of SONVERT_WMA_THREADS=1 (aim: at most 0.58), ", t / s
        printf "two files at once %.2f of SONVERT_WMA_THREADS=1 (aim: at most 1), peak %d KiB (aim: at most 40960)", p / p1, m }')"
  fi
  if awk -v a="$our_time" -v b="$their_time" 'BEGIN {exit !(a > b)}'; then
    status=1
  fi
done
echo
echo "$(nproc) processors, load $load_start at the start and $(cut -d' ' -f1-3 /proc/loadavg) at the end"
[ -z "$mp3_line" ] || echo "$mp3_line"
[ -z "$ogg_line" ] || echo "$ogg_line"
[ -z "$wma_line" ] || echo "$wma_line"
if [ "$status" -ne 0 ]; then
  echo "sonvert-batch was slower than a reference encoder" >&2
fi
exit "$status"
