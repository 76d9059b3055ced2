#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The command line and the core it is built from use Qt Core only, so that sonvert-batch runs on a
# server without a desktop: the program needs no other Qt library, and no core source includes a
# header of another Qt module (widgets belong in app/gui/, ui/ and platform/widgets/).
#   scripts/check-core-qt.sh PROGRAM QTCORE_HEADER_FOLDER
set -euo pipefail
program="$1"
qtcore="$2"
cd "$(dirname "$0")/.."
status=0

# An empty list means readelf failed, not that the program is clean.
needed="$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
[ -n "$needed" ] || { echo "no libraries listed for $program" >&2; exit 1; }
if grep '^libQt' <<<"$needed" | grep -v '^libQt6Core\.so'; then
  echo "$program needs the Qt libraries above; it may need Qt Core only" >&2
  status=1
fi

[ -f "$qtcore/QString" ] || { echo "no Qt Core headers in '$qtcore'" >&2; exit 1; }
while IFS=: read -r file line header; do
  # <QtCore/...> and the class headers of Qt Core's own folder are fine.
  if [[ "$header" != QtCore/* && ( "$header" == */* || ! -f "$qtcore/$header" ) ]]; then
    echo "$file:$line: <$header> is not a Qt Core header" >&2
    status=1
  fi
done < <(grep -rnoE --include='*.h' --include='*.cpp' '^#include <Q[A-Za-z]*(/[^>]*)?>' \
           engine encoders settings app/batch standins platform --exclude-dir=widgets |
         sed -E 's/#include <(.*)>$/\1/')
exit "$status"
