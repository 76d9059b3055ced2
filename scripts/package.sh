#!/usr/bin/env bash
# Builds a release build and the Debian package build/package/sonvert_<version>_<arch>.deb, after
# checking the desktop entry and the AppStream metainfo; lintian then checks the package.
set -euo pipefail
cd "$(dirname "$0")/.."
# The validators and the package checker are needed only here.
./scripts/install-deps.sh desktop-file-utils appstream lintian dpkg-dev

desktop-file-validate resources/app/com.quennets.Sonvert.desktop
appstreamcli validate --no-net resources/app/com.quennets.Sonvert.metainfo.xml

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake --preset package "${launcher[@]}" >/dev/null
cmake --build --preset package

rm -rf build/package
mkdir -p build/package
(cd build/release && cpack -G DEB -B "$PWD/../package-work")
rm -rf build/package-work
deb="$(ls build/package/sonvert_*.deb)"
echo "== $deb"
dpkg-deb --field "$deb"

# Errors fail the build; warnings are shown.
lintian --fail-on error --display-info "$deb"
