#!/usr/bin/env bash
# Checks the built Debian package the way a user meets it: unpacked into a temporary root and run
# by an ordinary user, who cannot write to the program folder.
#   scripts/check-package.sh [PACKAGE.deb]     (default: build/package/sonvert_*.deb)
# Runs as root (CI does); the checks themselves run as "nobody".
set -euo pipefail
cd "$(dirname "$0")/.."
deb="${1:-$(ls build/package/sonvert_*.deb | head -n1)}"
user=nobody
[ "$(id -u)" -eq 0 ] || { echo "run as root: the checks switch to the user '$user'" >&2; exit 2; }

work="$(mktemp -d)"
pid=""
# The windows run in a process group of their own, so that stopping them also stops the web
# engine's helper processes.
stop_windows() {
  [ -z "$pid" ] || kill -TERM -- "-$pid" 2>/dev/null || true
  [ -z "$pid" ] || wait "$pid" 2>/dev/null || true
  pid=""
}
cleanup() {
  stop_windows
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
root="$work/root"
dpkg-deb -x "$deb" "$root"
program="$root/usr/lib/sonvert"

# The user's own folders: home, configuration, run time, temporary files (a file another user left
# in a shared temporary folder must not decide the outcome), and the files to convert.
home="$work/home"
mkdir -p "$home/config" "$home/run" "$home/tmp" "$home/music"
chmod 700 "$home/run" "$home/tmp"
chown -R "$user:" "$home"
as_user() {
  runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 TMPDIR="$home/tmp" \
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" "$@"
}
fail() { echo "check-package: $*" >&2; exit 1; }

before="$(cd "$program" && find . -printf '%p %s %T@\n' | sort)"

# A second of a tone, 44,100 Hz stereo 16-bit.
as_user python3 - "$home/music/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(2); out.setsampwidth(2); out.setframerate(44100)
    out.writeframes(b"".join(struct.pack("<hh", v, v) for v in
        (int(8000 * math.sin(2 * math.pi * 440 * i / 44100)) for i in range(44100))))
PY

for format in mp3 ogg wma; do
  as_user "$root/usr/bin/sonvert-batch" -f "$format" "$home/music/tone.wav" ||
    fail "sonvert-batch -f $format failed"
  [ -s "$home/music/tone.$format" ] || fail "no tone.$format"
  echo "converted: tone.$format, $(stat -c %s "$home/music/tone.$format") bytes"
done

version="$(as_user "$root/usr/bin/sonvert" --version)" || fail "sonvert --version failed"
[ "$version" = "sonvert $(dpkg-deb -f "$deb" Version | sed 's/\.0$//')" ] ||
  fail "sonvert --version printed '$version'"
echo "$version"

# The windows, offscreen, until their first activation has written the language choice.
settings="$home/config/sonvert/Sonvert.ini"
setsid runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 \
  TMPDIR="$home/tmp" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" \
  QT_QPA_PLATFORM=offscreen \
  QTWEBENGINE_DISABLE_SANDBOX=1 "$root/usr/bin/sonvert" >"$work/windows.log" 2>&1 &
pid=$!
for _ in $(seq 300); do
  grep -q '^Language=' "$settings" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/windows.log" >&2; fail "the windows ended early"; }
  sleep 0.1
done
stop_windows
grep -q '^Language=' "$settings" || { cat "$work/windows.log" >&2; fail "no settings in $settings"; }
[ "$(stat -c %U "$settings")" = "$user" ] || fail "$settings does not belong to $user"
echo "settings: $(grep '^Language=' "$settings") in \$XDG_CONFIG_HOME/sonvert/Sonvert.ini"

after="$(cd "$program" && find . -printf '%p %s %T@\n' | sort)"
[ "$before" = "$after" ] || { diff <(echo "$before") <(echo "$after") >&2; fail "the program folder changed"; }
echo "program folder unchanged"

version="$(as_user "$root/usr/bin/sonvert-batch" --version)" || fail "sonvert-batch --version failed"
case "$version" in
  "sonvert-batch "*) echo "$version" ;;
  *) fail "sonvert-batch --version printed '$version'" ;;
esac
echo "check-package: all checks passed"
