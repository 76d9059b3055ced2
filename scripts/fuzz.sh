#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (preset "fuzz") and runs each for SECONDS (default 60), starting
# from its seeds in tests/fuzz/corpus. Exits 1 when any target reports a crash, a hang, a leak, a
# sanitizer finding or a broken property; the input that did it lands in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
./scripts/install-deps.sh

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake --preset fuzz "${launcher[@]}" >/dev/null
cmake --build --preset fuzz

build=build/fuzz
mkdir -p "$build/findings" "$build/logs"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
failed=0
for seeds in tests/fuzz/corpus/*/; do
  target="$(basename "$seeds")"
  # New inputs go to a corpus of the build's own; the seeds in the repository stay as they are.
  corpus="$build/corpus/$target"
  log="$build/logs/$target.log"
  mkdir -p "$corpus"
  echo "== $target (${seconds} s)"
  status=0
  "$build/bin/$target" "$corpus" "$seeds" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$target-" >"$log" 2>&1 || status=$?
  # libFuzzer's closing lines: the last progress line, the final statistics and any report.
  grep -v -e '^"' -e 'recommended dictionary' "$log" | tail -n 14
  if [ "$status" -ne 0 ] ||
    grep -q -e 'ERROR: AddressSanitizer' -e 'ERROR: LeakSanitizer' -e 'runtime error:' \
      -e 'ERROR: libFuzzer' -e '==PROPERTY==' "$log"; then
    echo "!! $target: finding (exit status $status), see $log"
    failed=1
  fi
done
exit "$failed"
