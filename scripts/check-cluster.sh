#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the recipes of docs/clusters.md for real, on this machine alone: the Slurm
# job-array script on a single-node Slurm of its own, the GNU parallel line over ssh to 127.0.0.1
# under two host names, and the jq lines over the merged reports.
#   scripts/check-cluster.sh [BIN_DIR]     (default: build/default/bin, built when it is missing)
# Runs as root (CI does). Everything it starts (munged, slurmctld, slurmd, sshd) is stopped when it
# ends, also on failure; a service that cannot run here fails the check with its own log.
set -euo pipefail
cd "$(dirname "$0")/.."
began=$SECONDS

fail() { echo "check-cluster: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] ||
  { echo "check-cluster: run as root: slurmd and sshd run the jobs as their owners" >&2; exit 2; }

./scripts/install-deps.sh slurm-wlm munge parallel openssh-server jq

default_bin=build/default/bin
bin="${1:-$default_bin}"
if [ ! -x "$bin/sonvert-batch" ]; then
  [ "$bin" = "$default_bin" ] || fail "no sonvert-batch in $bin"
  echo "== building sonvert-batch (preset default)"
  launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake --preset default "${launcher[@]}" >/dev/null
  cmake --build --preset default --target sonvert-batch lame_enc vorbis wmaudsdk
fi
bin="$(realpath "$bin")"
# The recipes call sonvert-batch by name: the jobs inherit this PATH from sbatch, the ssh sessions
# get it from sshd's configuration below.
export PATH="$bin:$PATH"

work="$(mktemp -d)"
# munged insists that every folder above its socket is open to all.
chmod 755 "$work"
daemons=()
made_run_sshd=""
slurm_up=""

alive() {
  local state
  state="$(ps -o stat= -p "$1" 2>/dev/null)" && [ "${state:0:1}" != Z ]
}
stop() {
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do alive "$1" || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  local status=$?
  set +e
  if [ -n "$slurm_up" ]; then
    # The private controller holds only this check's jobs.
    scancel --user=root 2>/dev/null
    for _ in $(seq 100); do [ -z "$(squeue -h 2>/dev/null)" ] && break; sleep 0.2; done
  fi
  if [ "$status" -ne 0 ]; then
    for log in "$work"/munge/munged.log "$work"/slurm/*.out "$work"/slurm/*.log \
      "$work"/ssh/sshd.log "$work"/ssh/sessions "$work"/*/logs/*.log; do
      [ -f "$log" ] || continue
      echo "---- ${log#"$work"/} (last lines)" >&2
      tail -n 15 "$log" >&2
    done
  fi
  for ((i = ${#daemons[@]} - 1; i >= 0; i--)); do stop "${daemons[i]}"; done
  [ -z "$made_run_sshd" ] || rmdir /run/sshd 2>/dev/null
  rm -rf "$work"
  echo "check-cluster: $((SECONDS - began)) s"
}
trap cleanup EXIT

# Waits up to $1 seconds for a command to succeed while the daemon started last runs; otherwise
# the service named $2 cannot run here, and its log (shown on the way out) says why.
await() {
  local seconds="$1" service="$2" why
  shift 2
  why="not ready after $seconds s"
  for _ in $(seq $((seconds * 5))); do
    "$@" >/dev/null 2>&1 && return 0
    alive "${daemons[-1]}" || { why="it exited"; break; }
    sleep 0.2
  done
  fail "$service cannot run on this machine: $why (its log follows)"
}

read -r ctld_port slurmd_port ssh_port < <(python3 -c '
import socket
held = [socket.socket() for _ in range(3)]
for s in held: s.bind(("", 0))
print(*(s.getsockname()[1] for s in held))')

# ---- munge: the key and socket of this run only
munge_dir="$work/munge"
mkdir -m 755 "$munge_dir"
mungekey --create --keyfile="$munge_dir/munge.key"
munged --foreground --socket="$munge_dir/socket" --key-file="$munge_dir/munge.key" \
  --pid-file="$munge_dir/munged.pid" --seed-file="$munge_dir/munged.seed" \
  >"$munge_dir/munged.log" 2>&1 &
daemons+=($!)
await 10 munged \
  bash -c "munge -n -S '$munge_dir/socket' | unmunge -S '$munge_dir/socket'"

# ---- Slurm: one node, this host with its processors and memory; no cgroups
slurm_dir="$work/slurm"
mkdir -p "$slurm_dir/state" "$slurm_dir/spool"
node="$(hostname -s)"
hardware="$(slurmd -C | head -n1 | cut -d' ' -f2-)" # CPUs=... RealMemory=...
export SLURM_CONF="$slurm_dir/slurm.conf"
cat >"$SLURM_CONF" <<EOF
ClusterName=sonvertcheck
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$munge_dir/socket
StateSaveLocation=$slurm_dir/state
SlurmdSpoolDir=$slurm_dir/spool
SlurmctldPidFile=$slurm_dir/slurmctld.pid
SlurmdPidFile=$slurm_dir/slurmd.pid
SlurmctldLogFile=$slurm_dir/slurmctld.log
SlurmdLogFile=$slurm_dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
KillWait=2
NodeName=$node $hardware NodeAddr=127.0.0.1 State=UNKNOWN
PartitionName=check Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -D -f "$SLURM_CONF" >"$slurm_dir/slurmctld.out" 2>&1 &
daemons+=($!)
slurm_up=1
await 20 slurmctld scontrol ping
slurmd -D -f "$SLURM_CONF" -N "$node" >"$slurm_dir/slurmd.out" 2>&1 &
daemons+=($!)
await 30 slurmd \
  bash -c "[ \"\$(sinfo -h -N -n '$node' -o %T)\" = idle ]"
cpus="$(sinfo -h -N -n "$node" -o %c)"
echo "== Slurm $(sinfo -V | cut -d' ' -f2): node $node idle, $cpus CPUs"

# ---- sshd on 127.0.0.1, with keys made for this run; node1 and node2 are its names
ssh_dir="$work/ssh"
mkdir -m 700 "$ssh_dir"
ssh-keygen -q -t ed25519 -N '' -C host -f "$ssh_dir/host_key"
ssh-keygen -q -t ed25519 -N '' -C user -f "$ssh_dir/id"
cp "$ssh_dir/id.pub" "$ssh_dir/authorized_keys"
echo "[127.0.0.1]:$ssh_port $(cut -d' ' -f1,2 "$ssh_dir/host_key.pub")" >"$ssh_dir/known_hosts"
cat >"$ssh_dir/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $ssh_port
HostKey $ssh_dir/host_key
PidFile $ssh_dir/sshd.pid
AuthorizedKeysFile $ssh_dir/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
LogLevel VERBOSE
SetEnv "PATH=$bin:/usr/local/bin:/usr/bin:/bin"
EOF
cat >"$ssh_dir/config" <<EOF
Host node1 node2
  HostName 127.0.0.1
  Port $ssh_port
  User root
  IdentityFile $ssh_dir/id
  IdentitiesOnly yes
  BatchMode yes
  StrictHostKeyChecking yes
  UserKnownHostsFile $ssh_dir/known_hosts
  GlobalKnownHostsFile /dev/null
  LogLevel ERROR
EOF
# parallel runs ssh through this, which notes the host name of each session.
cat >"$ssh_dir/ssh" <<EOF
#!/bin/sh
echo "\$*" >>"$ssh_dir/sessions"
exec ssh -F "$ssh_dir/config" "\$@"
EOF
chmod +x "$ssh_dir/ssh"
if [ ! -d /run/sshd ]; then
  mkdir -m 755 /run/sshd
  made_run_sshd=1
fi
/usr/sbin/sshd -D -e -f "$ssh_dir/sshd_config" >"$ssh_dir/sshd.log" 2>&1 &
daemons+=($!)
await 10 sshd "$ssh_dir/ssh" node2 true
[ "$("$ssh_dir/ssh" node1 'command -v sonvert-batch')" = "$bin/sonvert-batch" ] ||
  fail "an ssh session does not find $bin/sonvert-batch"
: >"$ssh_dir/sessions"
echo "== sshd on 127.0.0.1:$ssh_port, host names node1 and node2"

# ---- the library: 24 short WAVE files, 8- and 16-bit, in nested folders
library="$work/library"
python3 - "$library" <<'PY'
import math, os, struct, sys, wave
folders = ["Aino/First Light", "Aino/Second Light", "Brass Band/Live/Disc 1",
           "Brass Band/Live/Disc 2", "Café Trio", "Duo"]
kinds = [(44100, 2, 2), (22050, 1, 2), (11025, 1, 1), (48000, 2, 2)]  # rate, channels, bytes
for f, folder in enumerate(folders):
    os.makedirs(os.path.join(sys.argv[1], folder))
    for t in range(4):
        rate, channels, width = kinds[(f + t) % 4]
        frames = rate + f * 997 + t * 331
        wave_at = [math.sin(2 * math.pi * 440 * i / rate) for i in range(frames)]
        if width == 1:
            samples = bytes(128 + int(60 * v) for v in wave_at)
        else:
            samples = b"".join(struct.pack("<h", int(8000 * v)) for v in wave_at)
        data = b"".join(samples[i:i + width] * channels for i in range(0, len(samples), width))
        name = f"{t + 1:02d} Track.{'WAV' if (f, t) == (5, 3) else 'wav'}"
        with wave.open(os.path.join(sys.argv[1], folder, name), "wb") as out:
            out.setnchannels(channels); out.setsampwidth(width); out.setframerate(rate)
            out.writeframes(data)
PY

# The checks of a run, read from the files alone.
cat >"$work/check.py" <<'PY'
import json, os, subprocess, sys, wave

def sources(music):
    found = []
    for folder, dirs, files in os.walk(music):
        dirs[:] = [d for d in dirs if not d.startswith(".")]
        found += [os.path.join(folder, f) for f in files
                  if f.lower().endswith(".wav") and not f.startswith(".")]
    return sorted(found)

def output_of(source, music, out):
    return os.path.join(out, os.path.splitext(os.path.relpath(source, music))[0] + ".mp3")

def seconds_of(path):
    if path.endswith(".mp3"):
        return float(subprocess.check_output(["ffprobe", "-v", "error", "-show_entries",
                                              "format=duration", "-of", "csv=p=0", path]))
    with wave.open(path) as w:
        return w.getnframes() / w.getframerate()

def fail(text):
    sys.exit(f"check-cluster: {text}")

def check_tree(music, out):
    # Every source has its output at its mirrored place and nothing else stands there: no second
    # copy, no temporary, no output cut short.
    wanted = {output_of(s, music, out): s for s in sources(music)}
    present = {os.path.join(d, f) for d, _, files in os.walk(out) for f in files}
    for path in sorted(present - set(wanted)):
        fail(f"unexpected file {os.path.relpath(path, out)} in the output tree")
    for path in sorted(set(wanted) - present):
        fail(f"no output {os.path.relpath(path, out)}")
    # An MP3 runs longer than its source (the encoder's delay, and short files get silence).
    margin, path = min((seconds_of(o) - seconds_of(s), o) for o, s in wanted.items())
    if margin < -0.03:
        fail(f"{os.path.relpath(path, out)} is {-margin:.3f} s shorter than its source")
    return f"{len(wanted)} outputs in the mirrored tree, none shorter than its source"

def check_report(report, music, out, outcome, *special):
    # One line per source across the shards, each with the outcome this run should give it.
    expected = {s: outcome for s in sources(music)}
    for item in special:
        name, _, result = item.rpartition("=")
        expected[os.path.join(music, name)] = result
    seen = {}
    with open(report) as f:
        for line in f:
            entry = json.loads(line)
            source = os.path.normpath(entry["source"])
            if source in seen:
                fail(f"{source} has two report lines")
            seen[source] = entry
            if source not in expected:
                fail(f"a report line for {source}, which is no source")
            if entry["outcome"] != expected[source]:
                fail(f"{source}: {entry['outcome']}, not {expected[source]}: {entry['messages']}")
            if os.path.normpath(entry["output"]) != output_of(source, music, out):
                fail(f"{source} went to {entry['output']}")
    if set(seen) != set(expected):
        fail(f"no report line for {sorted(set(expected) - set(seen))}")
    counts = {}
    for entry in seen.values():
        counts[entry["outcome"]] = counts.get(entry["outcome"], 0) + 1
    return ", ".join(f"{n} {o}" for o, n in sorted(counts.items())) + " in the merged reports"

def check_jq(report, printed):
    # The first jq line lists every file that did not convert, the second counts the outcomes.
    entries = [json.loads(line) for line in open(report)]
    listed = [f"{e['outcome']}\t{e['source']}\t{'; '.join(e['messages'])}"
              for e in entries if e["outcome"] != "converted"]
    lines = open(printed).read().splitlines()
    if lines[:len(listed)] != listed:
        fail("the first jq line printed:\n" + "\n".join(lines[:len(listed)]))
    counts = {}
    for e in entries:
        counts[e["outcome"]] = counts.get(e["outcome"], 0) + 1
    if json.loads("\n".join(lines[len(listed):])) != counts:
        fail("the second jq line printed:\n" + "\n".join(lines[len(listed):]))
    return f"jq: {len(listed)} lines not converted, counts {json.dumps(counts)}"

print("  " + {"tree": check_tree, "report": check_report, "jq": check_jq}[sys.argv[1]](
    *sys.argv[2:]))
PY
check() { python3 "$work/check.py" "$@"; }

# The recipes, as docs/clusters.md shows them, with /shared/ moved into a folder of this run.
recipes="$PWD/docs/clusters.md"
recipe_block() {
  awk -v want="$1" '
    /^```/ { if (open) { open = 0; n++ } else open = 1; next }
    open && n + 1 == want' "$recipes"
}
recipe() {
  local text
  text="$(recipe_block "$1")"
  grep -q "$2" <<<"$text" || fail "docs/clusters.md has no code block $1 with '$2'"
  echo "${text//\/shared\//$3/shared/}"
}
# Runs the jq lines of docs/clusters.md in $1 and checks what they print.
check_jq() {
  local lines
  lines="$(recipe 3 'jq -s' "$1")"
  (cd "$1" && bash -euo pipefail -c "$lines") >"$1/jq.out"
  check jq "$1/all.jsonl" "$1/jq.out"
}
# Sums the summary lines of the array's logs: "$1 of $2 files converted" in all.
check_logs() {
  local sums
  sums="$(sed -n 's/^sonvert-batch: \([0-9]*\) of \([0-9]*\) files converted$/\1 \2/p' \
    "$3"/logs/sonvert-*.log | awk '{ k += $1; n += $2 } END { print k + 0, n + 0 }')"
  [ "$sums" = "$1 $2" ] || fail "the task logs sum to '$sums' files converted of all, not '$1 $2'"
}

array_states() { squeue -h -j "$1" -t all -o '%K %T' 2>/dev/null | sort -n; }
# Waits for the 3 tasks of array $1 to end, then prints their states.
wait_array() {
  local states
  for _ in $(seq 600); do
    states="$(array_states "$1")"
    if [ "$(grep -cE ' (COMPLETED|FAILED|CANCELLED|TIMEOUT|NODE_FAIL|OUT_OF_MEMORY)$' \
      <<<"$states")" -eq 3 ]; then
      echo "$states" | tr '\n' ' '
      return
    fi
    sleep 0.2
  done
  fail "array $1 did not end within 120 s: $(tr '\n' ' ' <<<"$states")"
}
# Submits the job-array script in $1, 3 tasks of 1 CPU each, and prints the job's number.
submit() {
  (cd "$1" && sbatch --parsable --array=1-3 --cpus-per-task=1 convert.sh) | cut -d';' -f1
}

# ---- the Slurm array
root="$work/slurm-run"
mkdir -p "$root/shared" "$root/logs"
cp -a "$library" "$root/shared/Music"
recipe 1 '#SBATCH' "$root" >"$root/convert.sh"
t=$SECONDS
job="$(submit "$root")"
states="$(wait_array "$job")"
echo "== Slurm array $job: ${states}in $((SECONDS - t)) s"
[ "$states" = "1 COMPLETED 2 COMPLETED 3 COMPLETED " ] || fail "not every task succeeded"
check tree "$root/shared/Music" "$root/shared/mp3"
check_jq "$root"
check report "$root/all.jsonl" "$root/shared/Music" "$root/shared/mp3" converted
check_logs 24 24 "$root"

# ---- GNU parallel over ssh
proot="$work/parallel-run"
mkdir -p "$proot/shared"
cp -a "$library" "$proot/shared/Music"
line="$(recipe 2 'parallel -S' "$proot")"
logins="$(grep -c '^Accepted publickey' "$ssh_dir/sshd.log")"
t=$SECONDS
(cd "$proot" && PARALLEL_SSH="$ssh_dir/ssh" PARALLEL_HOME="$proot/.parallel" \
  bash -euo pipefail -c "$line") || fail "the parallel line failed with status $?"
echo "== GNU parallel over ssh in $((SECONDS - t)) s"
# parallel sends each job as an encoded script; the session's host name is what it chose.
sessions=""
for host in node1 node2; do
  n="$(grep -c "^$host " "$ssh_dir/sessions" || true)"
  [ "$n" -eq 1 ] || fail "$n shards ran on $host, not 1"
  sessions+="$host: $n, "
done
echo "  shards by host name: ${sessions}logins in sshd's log:" \
  "$(($(grep -c '^Accepted publickey' "$ssh_dir/sshd.log") - logins))"
check tree "$proot/shared/Music" "$proot/shared/mp3"
check_jq "$proot"
check report "$proot/all.jsonl" "$proot/shared/Music" "$proot/shared/mp3" converted

# ---- a task that Slurm ends part-way through a long file, then the same array again
# Slurm's time limits count whole minutes; scancel takes the same path in seconds: SIGTERM to every
# process of the task, SIGKILL after KillWait. New music arrives: ten minutes of tone, seconds of
# work. It sorts last of 25 sources, so it falls to task 1 (25 = 1 + 8 * 3) after its other files.
long="Zither Solo/01 Long.wav"
python3 - "$root/shared/Music/$long" <<'PY'
import math, os, struct, sys, wave
os.makedirs(os.path.dirname(sys.argv[1]))
second = b"".join(struct.pack("<hh", v, v) for v in
                  (int(8000 * math.sin(2 * math.pi * 220 * i / 44100)) for i in range(44100)))
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(2); out.setsampwidth(2); out.setframerate(44100)
    out.writeframes(second * 600)
PY
final="$root/shared/mp3/${long%.wav}.mp3"
temporaries="$(dirname "$final")/.$(basename "$final").sonvert-*"
t=$SECONDS
job="$(submit "$root")"
for _ in $(seq 600); do
  [ ! -e "$final" ] || fail "the long file was converted before it could be cancelled"
  compgen -G "$temporaries" >/dev/null &&
    [ "$(array_states "$job" | awk '$1 == 1 { print $2 }')" = RUNNING ] && break
  sleep 0.1
done
compgen -G "$temporaries" >/dev/null || fail "task 1 never started the long file"
scancel "${job}_1"
cancelled=$(date +%s%N)
states="$(wait_array "$job")"
ended=$(date +%s%N)
echo "== Slurm array $job, task 1 cancelled on the long file: ${states}in $((SECONDS - t)) s"
log="$root/logs/sonvert-1.log"
grep -q '\*\*\* JOB .* CANCELLED AT' "$log" || fail "Slurm did not cancel task 1: $(cat "$log")"
[ "$(array_states "$job" | awk '$1 == 1 { print $2 }')" = CANCELLED ] ||
  fail "task 1 did not end as CANCELLED"
# Slurm may call the task cancelled while its processes still end: give them KillWait and a
# little more before looking at what they left.
ours() {
  for pid in $(pgrep -x sonvert-batch || true); do
    [ "$(readlink "/proc/$pid/exe")" != "$bin/sonvert-batch" ] || echo "$pid"
  done
}
for _ in $(seq 50); do
  [ -n "$(ours)" ] || break
  sleep 0.1
done
[ ! -e "$final" ] || fail "the cancelled file stands under its final name"
leftover="$(find "$root/shared/mp3" -name '.*.sonvert-*')"
[ -z "$leftover" ] || fail "the cancelled task left $leftover"
for pid in $(ours); do
  fail "sonvert-batch $pid outlived its cancelled task"
done
# Its summary shows that sonvert-batch ended by itself on SIGTERM, before any SIGKILL.
grep -q '^sonvert-batch: 0 of [0-9]* files converted$' "$log" ||
  fail "the cancelled sonvert-batch wrote no summary: $(cat "$log")"
check_jq "$root"
check report "$root/all.jsonl" "$root/shared/Music" "$root/shared/mp3" skipped "$long=stopped"
check_logs 0 25 "$root"
echo "  the long file stopped after $(jq -r 'select(.outcome == "stopped") | .seconds' \
  "$root/all.jsonl") s of work; the tasks had ended $(((ended - cancelled) / 1000000)) ms after" \
  "scancel; no output or temporary left"

t=$SECONDS
job="$(submit "$root")"
echo "== Slurm array $job, run again: $(wait_array "$job")in $((SECONDS - t)) s"
check tree "$root/shared/Music" "$root/shared/mp3"
check_jq "$root"
check report "$root/all.jsonl" "$root/shared/Music" "$root/shared/mp3" skipped "$long=converted"
check_logs 1 25 "$root"
echo "check-cluster: all recipes held"
