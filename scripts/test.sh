#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: plainly, under AddressSanitizer
# with UndefinedBehaviorSanitizer, and the threaded tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"

presets=("$@")
if [ "${#presets[@]}" -eq 0 ]; then
  presets=(default asan tsan)
fi
for preset in "${presets[@]}"; do
  echo "== $preset"
  ./scripts/build.sh "$preset"
  ctest --preset "$preset" -j2
done
