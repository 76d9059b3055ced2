#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages twice with scripts/package.sh, from two clones of the committed tree in
# two folders, a minute apart, the second without network, and compares the .deb files byte for
# byte. The first build's results then go to build/package/ for scripts/check-package.sh.
# Runs as root (CI does), which the network namespace of the second build needs.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "run as root: the second build runs in a network namespace" >&2; exit 2; }
repo="$PWD"
# The clones lie in the same two folders every time, so that each finds its compiler cache entries
# of the run before.
work="$repo/build/reproducible"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-reproducible: $*" >&2; exit 1; }

build() {
  local name="$1"
  shift
  local start="$SECONDS"
  git clone --quiet "$repo" "$work/$name"
  "$@" "$work/$name/scripts/package.sh" >"$work/$name.log" 2>&1 ||
    { tail -n 40 "$work/$name.log" >&2; fail "the $name build failed"; }
  echo "$name build: $((SECONDS - start)) s"
}
build first
# Each step of the second build runs minutes after the same step of the first (a build's own
# length), so a time of the build that hid in the packages would differ.
build second unshare --net --

first="$work/first/build/package"
second="$work/second/build/package"
[ "$(cd "$first" && ls ./*.deb)" = "$(cd "$second" && ls ./*.deb)" ] ||
  fail "the builds made different packages: $(ls "$first") / $(ls "$second")"
differ=0
for deb in "$first"/*.deb; do
  name="$(basename "$deb")"
  if cmp "$deb" "$second/$name"; then
    echo "identical: $name ($(stat -c %s "$deb") bytes)"
    continue
  fi
  differ=1
  if command -v diffoscope >/dev/null 2>&1; then
    diffoscope "$deb" "$second/$name" || true
  else
    # The members whose metadata or contents differ.
    diff <(dpkg-deb --contents "$deb") <(dpkg-deb --contents "$second/$name") || true
    mkdir -p "$work/unpacked/first" "$work/unpacked/second"
    dpkg-deb --raw-extract "$deb" "$work/unpacked/first/$name"
    dpkg-deb --raw-extract "$second/$name" "$work/unpacked/second/$name"
    diff --recursive --brief --no-dereference "$work/unpacked/first/$name" \
      "$work/unpacked/second/$name" || true
  fi
done
[ "$differ" -eq 0 ] || fail "the two builds differ (above)"
grep '^== ' "$work/first.log"

rm -rf build/package
mkdir -p build
cp -a "$first" build/package
echo "check-reproducible: both builds gave the same packages; they are in build/package/"
