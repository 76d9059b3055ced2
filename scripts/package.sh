#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages sonvert-batch and sonvert with dpkg-buildpackage into build/package/
# (the .deb files, .buildinfo, .changes and the build's log), after checking the desktop entry and
# the AppStream metainfo; lintian and blhc then check the packages and the log.
# The build runs in a copy of the working tree, so the tree stays clean, and needs no network once
# the build dependencies are installed. SONVERT_BANNER_PLAYER_DIR names a folder of the banner's
# player to ship (debian/README.source); without it the package has none.
set -euo pipefail
cd "$(dirname "$0")/.."
# The validators, the package tools and the checkers are needed only here.
./scripts/install-deps.sh desktop-file-utils appstream lintian dpkg-dev debhelper devscripts blhc

desktop-file-validate resources/app/com.quennets.Sonvert.desktop
appstreamcli validate --no-net resources/app/com.quennets.Sonvert.metainfo.xml

out="$PWD/build/package"
work="$PWD/build/package-work"
rm -rf "$out" "$work"
mkdir -p "$out" "$work/sonvert"
# Tracked files and new ones that are not ignored, as the working tree has them now.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; fi
  done | tar -c --null -T - | tar -x -C "$work/sonvert"

if command -v ccache >/dev/null 2>&1; then
  # Hits need the same folder as before; a base folder would let other folders hit too, but the
  # compiler would then see relative paths and write other bytes than a build without the cache.
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  # debhelper gives the build a home folder of its own, which would hold an empty cache.
  CCACHE_DIR="$(ccache --get-config cache_dir)"
  export CCACHE_DIR
fi
(cd "$work/sonvert" && nice dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$out/build.log" 2>&1 ||
  { tail -n 40 "$out/build.log" >&2; echo "package: dpkg-buildpackage failed ($out/build.log)" >&2; exit 1; }
mv "$work"/*.deb "$work"/*.buildinfo "$work"/*.changes "$out/"
rm -rf "$work"

for deb in "$out"/*.deb; do
  echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
done
# The compiler and linker calls carry the hardening flags of dpkg-buildflags.
blhc --debian --all --arch "$(dpkg --print-architecture)" "$out/build.log"
echo "== blhc: every compiler and linker call hardened"
# Errors and warnings fail the build; debian/*.lintian-overrides say why a tag is expected.
lintian --fail-on error,warning --display-info "$out"/*.deb
echo "== lintian: no errors, no warnings but the overridden ones"
