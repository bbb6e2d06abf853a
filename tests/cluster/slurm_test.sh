#!/usr/bin/env bash
# The README's Slurm job array recipe, run as written on a single-node Slurm of the test's
# own (munged, slurmctld and slurmd on 127.0.0.1 with throw-away key and configuration,
# stopped at the end whatever happens): 4 tasks over 12 documents, each task its shard;
# then, two MP3s lost, the same array again converts only those two.
#   slurm_test.sh BUILD_DIR README DATA_DIR     (root only: exit 77 otherwise)
set -euo pipefail
build=$1
readme=$2
data=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/cluster.sh"

[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root, to start munged, slurmctld and slurmd of its own"; exit 77; }
missing=()
for tool in munged mungekey sbatch squeue sinfo scontrol python3 soxi; do command -v $tool >/dev/null || missing+=($tool); done
[ -x /usr/sbin/slurmctld ] && [ -x /usr/sbin/slurmd ] || missing+=(slurm-wlm)
if ((${#missing[@]})); then
  echo "SKIP: not installed: ${missing[*]} (./vocatext.sh test installs them)"
  exit 77
fi

work=$(mktemp -d)
chmod 0755 "$work"
daemons=()
stop() {
  local pid
  # Tasks still queued or running on the test's own cluster go first.
  [ -n "${SLURM_CONF:-}" ] && squeue -h -o %A 2>/dev/null | xargs -r scancel 2>/dev/null
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${daemons[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() { echo "FAILED: $*" >&2; for log in "$work"/slurm/*.log; do echo "-- $log"; tail -20 "$log"; done >&2; exit 1; }
step() { echo "== $* ($SECONDS s)"; }
# within SECONDS COMMAND...: until the command succeeds, polled every 0.1 s.
within() {
  local limit=$(($1 * 10)) i
  shift
  for ((i = 0; i < limit; ++i)); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

sbatch_recipe=$(recipe "$readme" "sbatch --array")
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
unset LANG LC_ALL LANGUAGE TEMP XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
export PATH="$work/root/usr/bin:$PATH"

step "munged, slurmctld and slurmd on localhost"
mkdir -m 0700 "$work/key"
mkdir -m 0711 "$work/munge"
mkdir -p "$work/slurm/state" "$work/slurm/spool"
mungekey --create --keyfile="$work/key/munge.key"
socket="$work/munge/munge.socket"
munged -F --key-file="$work/key/munge.key" --socket="$socket" --pid-file="$work/munge/munged.pid" \
  --log-file="$work/slurm/munged.log" --seed-file="$work/munge/seed" 2>>"$work/slurm/munged.log" &
daemons+=($!)
within 10 bash -c "munge -n -S '$socket' | unmunge -S '$socket'" || fail "munged does not answer"
cat >"$work/slurm/slurm.conf" <<CONF
ClusterName=vocatext-test
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$(hop_free_port)
SlurmdPort=$(hop_free_port)
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/slurm/state
SlurmdSpoolDir=$work/slurm/spool
SlurmctldPidFile=$work/slurm/slurmctld.pid
SlurmdPidFile=$work/slurm/slurmd.pid
SlurmctldLogFile=$work/slurm/slurmctld.log
SlurmdLogFile=$work/slurm/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
ReturnToService=2
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$work/slurm/slurm.conf"
/usr/sbin/slurmctld -D -i -f "$SLURM_CONF" 2>>"$work/slurm/slurmctld.log" &
daemons+=($!)
/usr/sbin/slurmd -D -N localhost -f "$SLURM_CONF" 2>>"$work/slurm/slurmd.log" &
daemons+=($!)
within 60 bash -c '[ "$(sinfo -h -N -o %T)" = idle ]' || fail "the node is not idle: $(sinfo -N 2>&1)"

home="$work/home"
mkdir -p "$home/Library"
for i in $(seq 1 12); do cp "$data/paragraphs.odt" "$home/Library/Lecture $i.odt"; done

# array [RECIPE]: runs the recipe in the home, waits for its tasks and prints their output,
# one line per task's line; fails unless every task completed with status 0.
array() {
  local submitted job
  submitted=$(cd "$home" && HOME="$home" bash -c "${1:-$sbatch_recipe}") || fail "sbatch: $submitted"
  job=${submitted##* }
  within 240 bash -c "[ -z \"\$(squeue -h -j $job 2>/dev/null)\" ]" || fail "the array $job does not end"
  [ "$(scontrol -o show job "$job" | grep -c 'JobState=COMPLETED ')" -eq 4 ] \
    || fail "tasks of $job did not complete: $(scontrol -o show job "$job")"
  scontrol -o show job "$job" | grep -v 'ExitCode=0:0' && fail "a task failed"
  cat "$home"/slurm-"$job"_*.out
  rm "$home"/slurm-"$job"_*.out
}
# count WORD OUTPUT: the sum of the summaries' "N WORD," over the tasks.
count() { awk -v what="$1," '{ for (i = 2; i <= NF; ++i) if ($i == what) n += $(i - 1) } END { print n + 0 }' <<<"$2"; }

step "an array of 4 tasks over 12 documents"
out=$(array)
for k in 1 2 3 4; do grep -qx "shard $k/4: 3 of 12 documents" <<<"$out" || fail "shard $k: $out"; done
[ "$(count converted "$out")" -eq 12 ] || fail "$(count converted "$out") converted: $out"
for i in $(seq 1 12); do
  [ -s "$home/Library/Lecture $i.mp3" ] || fail "no MP3 for Lecture $i"
done
soxi -D "$home/Library/Lecture 7.mp3" >/dev/null || fail "Lecture 7.mp3 does not decode"

step "two MP3s lost, the same array again"
rm "$home/Library/Lecture 3.mp3" "$home/Library/Lecture 10.mp3"
out=$(array)
[ "$(count converted "$out")" -eq 2 ] || fail "$(count converted "$out") converted again: $out"
[ "$(count skipped "$out")" -eq 10 ] || fail "$(count skipped "$out") skipped: $out"
[ -s "$home/Library/Lecture 3.mp3" ] && [ -s "$home/Library/Lecture 10.mp3" ] || fail "the lost MP3s are not back"
step "an array given as a list of its indices: each task its own shard"
rm "$home"/Library/*.mp3
out=$(array "${sbatch_recipe/--array=1-4/--array=1,3,5,7}")
for k in 1 2 3 4; do grep -qx "shard $k/4: 3 of 12 documents" <<<"$out" || fail "shard $k: $out"; done
[ "$(count converted "$out")" -eq 12 ] || fail "$(count converted "$out") converted: $out"
step "the array recipe ran as written"
