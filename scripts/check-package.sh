#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the built Debian packages the way users meet them: what the command-line package pulls in,
# then that package alone and then both installed by dpkg into a temporary root, run by an ordinary
# user, who cannot write to the program folder, and by root, and purged.
#   scripts/check-package.sh [FOLDER]     (default: build/package, where scripts/package.sh puts them)
# Runs as root (CI does); most checks run as "nobody". This system's own packages stay untouched.
set -euo pipefail
cd "$(dirname "$0")/.."
folder="$(realpath "${1:-build/package}")"
batch_deb="$(ls "$folder"/sonvert-batch_*.deb)"
windows_deb="$(ls "$folder"/sonvert_*.deb)"
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
fail() { echo "check-package: $*" >&2; exit 1; }

# What apt would install with each package on a system that has nothing yet.
pulled() {
  : >"$work/apt-status"
  apt-get install --simulate -q -o Dir::State::status="$work/apt-status" "$@" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt cannot install $*"; }
  awk '/^Inst /{print $2}' "$work/apt.log"
}
toolkit='^(libqt6gui6|libqt6widgets6|libqt6webengine.*)$'
batch_pulls="$(pulled "$batch_deb")"
grep -qx libqt6core6 <<<"$batch_pulls" || fail "sonvert-batch pulls no libqt6core6: apt saw no dependencies"
if grep -E "$toolkit" <<<"$batch_pulls" >&2; then
  fail "sonvert-batch pulls in the graphical toolkit (above); it must need Qt Core only"
fi
# The same look at both packages finds the toolkit, so the one above could have found it.
grep -qE "$toolkit" <<<"$(pulled "$batch_deb" "$windows_deb")" ||
  fail "apt shows no graphical toolkit for sonvert either"
echo "apt: sonvert-batch pulls $(wc -l <<<"$batch_pulls") packages, none of the graphical toolkit"

# The temporary root has a package database of its own; the maintainer scripts run on this system
# with DPKG_ROOT naming that root. The libraries the packages depend on are this system's.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
in_root() {
  dpkg --root="$root" --log=/dev/null --force-script-chrootless --force-depends "$@" \
    >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg $* failed"; }
}
program="$root/usr/lib/sonvert"

# A user's own folders: home, configuration, run time, temporary files (a file another user left
# in a shared temporary folder must not decide the outcome).
make_home() {
  mkdir -p "$2/config" "$2/run" "$2/tmp"
  chmod 700 "$2/run" "$2/tmp"
  chown -R "$1:" "$2"
}
home="$work/home"
make_home "$user" "$home"
mkdir -p "$home/music"
chown "$user:" "$home/music"
as_user() {
  runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 TMPDIR="$home/tmp" \
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" "$@"
}

# An administrator's starting values, where an installed copy looks for them.
xdg="$work/xdg"
mkdir -p "$xdg/sonvert"
printf '[General]\r\nOutputFormat=3\r\n' >"$xdg/sonvert/Sonvert.ini"

# A second of a tone, 44,100 Hz stereo 16-bit.
as_user python3 - "$home/music/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(2); out.setsampwidth(2); out.setframerate(44100)
    out.writeframes(b"".join(struct.pack("<hh", v, v) for v in
        (int(8000 * math.sin(2 * math.pi * 440 * i / 44100)) for i in range(44100))))
PY

# The command-line package alone.
in_root --install "$batch_deb"
for file in "$program/sonvert" "$program/SVLanguage" "$root/usr/bin/sonvert" "$root/etc"; do
  [ ! -e "$file" ] || fail "sonvert-batch brought ${file#"$root"}"
done
# No format named: the administrator's OutputFormat=3 (Ogg Vorbis) holds.
as_user XDG_CONFIG_DIRS="$xdg" "$root/usr/bin/sonvert-batch" "$home/music/tone.wav" ||
  fail "sonvert-batch failed with the administrator's settings"
[ -s "$home/music/tone.ogg" ] && [ ! -e "$home/music/tone.mp3" ] ||
  fail "sonvert-batch did not start from $xdg/sonvert/Sonvert.ini"
rm "$home/music/tone.ogg"
echo "sonvert-batch alone: starts from the administrator's settings in \$XDG_CONFIG_DIRS"
for format in mp3 ogg wma; do
  as_user "$root/usr/bin/sonvert-batch" -f "$format" "$home/music/tone.wav" ||
    fail "sonvert-batch -f $format failed"
  [ -s "$home/music/tone.$format" ] || fail "no tone.$format"
  echo "converted: tone.$format, $(stat -c %s "$home/music/tone.$format") bytes"
done
version="$(as_user "$root/usr/bin/sonvert-batch" --version)" || fail "sonvert-batch --version failed"
[ "$version" = "sonvert-batch $(dpkg-deb -f "$batch_deb" Version | sed 's/-[^-]*$//')" ] ||
  fail "sonvert-batch --version printed '$version'"
echo "$version"

# Then the windows.
in_root --install "$windows_deb"
dpkg --root="$root" --status sonvert | grep -q '^ /etc/apparmor.d/sonvert ' ||
  fail "the AppArmor profile is no conffile"
# This root's AppArmor (none) is older than 4.0, which cannot read the profile.
[ "$(readlink "$root/etc/apparmor.d/disable/sonvert")" = ../sonvert ] ||
  fail "the AppArmor profile is not disabled where AppArmor cannot read it"
echo "installed both; AppArmor profile a conffile, disabled without AppArmor 4.0"
[ "$(ls "$program/SVLanguage/" | wc -l)" -ge 20 ] || fail "no language packs in the program folder"
before="$(cd "$program" && find -L . -printf '%p %s %T@\n' | sort)"

version="$(as_user "$root/usr/bin/sonvert" --version)" || fail "sonvert --version failed"
[ "$version" = "sonvert $(dpkg-deb -f "$windows_deb" Version | sed 's/-[^-]*$//')" ] ||
  fail "sonvert --version printed '$version'"
echo "$version"

# The windows, offscreen, until their first activation has written the language choice into the
# user's own configuration folder.
run_windows() {
  local who="$1" dir="$2"
  local settings="$dir/config/sonvert/Sonvert.ini"
  setsid runuser -u "$who" -- env -i PATH=/usr/bin:/bin HOME="$dir" LANG=C.UTF-8 \
    TMPDIR="$dir/tmp" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/run" \
    XDG_CONFIG_DIRS="$xdg" QT_QPA_PLATFORM=offscreen \
    QTWEBENGINE_DISABLE_SANDBOX=1 "$root/usr/bin/sonvert" >"$work/windows.log" 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    grep -q '^Language=' "$settings" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/windows.log" >&2; fail "the windows ended early"; }
    sleep 0.1
  done
  stop_windows
  grep -q '^Language=' "$settings" || { cat "$work/windows.log" >&2; fail "no settings in $settings"; }
  [ "$(stat -c %U "$settings")" = "$who" ] || fail "$settings does not belong to $who"
  grep -q '^OutputFormat=3' "$settings" || fail "$settings did not start from the administrator's"
  echo "settings of $who: $(grep '^Language=' "$settings") in \$XDG_CONFIG_HOME/sonvert/Sonvert.ini"
}
unchanged() {
  after="$(cd "$program" && find -L . -printf '%p %s %T@\n' | sort)"
  [ "$before" = "$after" ] || { diff <(echo "$before") <(echo "$after") >&2; fail "the program folder changed"; }
}
run_windows "$user" "$home"
unchanged
echo "program folder unchanged"

# root could write to the program folder, but an installed copy keeps root's settings in root's own
# folder too: in the shared folder they would be every user's starting values.
make_home root "$work/root-home"
run_windows root "$work/root-home"
unchanged
echo "program folder unchanged by root"

# Purging leaves nothing of either package, not even a Sonvert.ini that earlier versions let root
# keep in the program folder; nor anything of the AppArmor profile.
cp "$work/root-home/config/sonvert/Sonvert.ini" "$program/Sonvert.ini"
in_root --purge sonvert
[ -e "$program/sonvert-batch" ] || fail "purging sonvert took sonvert-batch's files"
in_root --purge sonvert-batch
left="$(cd "$root" && find . -mindepth 1 -not -path './var/lib/dpkg*' -not -path ./var -not -path ./var/lib | head -n 5)"
[ -z "$left" ] || fail "purging left $left"
echo "purged: nothing left outside the package database"
echo "check-package: all checks passed"
