#!/usr/bin/env bash
# kurvo farm on a real Slurm cluster: a single-node cluster started here
# (munged, slurmctld and slurmd from Debian's munge and slurm-wlm, with a
# slurm.conf, state and logs in a temporary folder), a 4-shard job whose
# merged point cache must equal a single run's, then one shard made to fail:
# the merge must refuse naming it, and that shard run again alone, then the
# merge, must complete the job; and a batch of two scenes. Every daemon
# started here is stopped when the test ends, whichever way it ends.
#
# Usage: slurm_cluster_test.sh KURVO EXAMPLES_DIR
# Without Slurm or munge, or not as root, the test is skipped (status 77),
# unless KURVO_REQUIRE_SLURM is set (CI), where that is a failure.
set -euo pipefail
kurvo=$1
examples=$(cd "$2" && pwd)
scene=$examples/tube-sliding.json

skip() {
  if [ -n "${KURVO_REQUIRE_SLURM:-}" ]; then
    echo "FAIL: $1 (KURVO_REQUIRE_SLURM is set)" >&2
    exit 1
  fi
  echo "skipped: $1" >&2
  exit 77
}
for tool in munged slurmctld slurmd sbatch scontrol sinfo scancel setpriv python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (apt-get install slurm-wlm munge)"
done
[ "$(id -u)" -eq 0 ] || skip "slurmd runs jobs as root here; run the test as root"

dir=$(mktemp -d "${TMPDIR:-/tmp}/kurvo-slurm.XXXXXX")
chmod 711 "$dir"
daemons=()
stop_cluster() {
  local status=$?
  set +e
  if [ -f "$dir/slurm.conf" ]; then SLURM_CONF=$dir/slurm.conf scancel --full --quiet --user=root 2>/dev/null; fi
  for pid in "${daemons[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  # slurmctld and slurmd end within seconds; anything left after 10 s is killed.
  for _ in $(seq 100); do
    alive=0
    for pid in "${daemons[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ $alive -eq 0 ] && break
    sleep 0.1
  done
  for pid in "${daemons[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  if [ $status -ne 0 ]; then
    echo "--- logs of the failed run ($dir) ---" >&2
    tail -n 30 "$dir"/*.log "$dir"/*/*.farm/logs/* 2>/dev/null >&2
  fi
  rm -rf "$dir"
  exit $status
}
trap stop_cluster EXIT
trap 'exit 1' INT TERM

# Each daemon also ends with this script if it is killed outright (a test
# timeout), where no trap runs.
daemon() { exec setpriv --pdeathsig TERM "$@"; }

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# munge: a key and a socket of our own, beside no system daemon.
dd if=/dev/urandom of="$dir/munge.key" bs=1024 count=1 status=none
chmod 400 "$dir/munge.key"
daemon munged --foreground --force --key-file="$dir/munge.key" --socket="$dir/munge.sock" \
  --pid-file="$dir/munged.pid" --log-file="$dir/munged.log" --seed-file="$dir/munge.seed" 2>"$dir/munged.out" &
daemons+=($!)
for _ in $(seq 50); do [ -S "$dir/munge.sock" ] && break; sleep 0.1; done
[ -S "$dir/munge.sock" ] || { echo "munged did not start" >&2; exit 1; }

host=$(hostname -s)
cpus=$(nproc)
mkdir -p "$dir/state" "$dir/spool"
cat > "$dir/slurm.conf" <<CONF
ClusterName=kurvotest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge.sock
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
ReturnToService=2
MinJobAge=600
KillWait=5
NodeName=kurvonode NodeHostname=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=kurvo Nodes=kurvonode Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$dir/slurm.conf
daemon slurmctld -D -i -f "$SLURM_CONF" >"$dir/slurmctld.out" 2>&1 &
daemons+=($!)
daemon slurmd -D -N kurvonode -f "$SLURM_CONF" >"$dir/slurmd.out" 2>&1 &
daemons+=($!)
for _ in $(seq 150); do
  [ "$(sinfo -h -n kurvonode -o %t 2>/dev/null)" = "idle" ] && break
  sleep 0.2
done
[ "$(sinfo -h -n kurvonode -o %t)" = "idle" ] || { echo "the node did not come up" >&2; exit 1; }

# Waits for job $1 to end; prints its final state.
wait_job() {
  local state=""
  for _ in $(seq 600); do
    state=$(scontrol show job "$1" -o 2>/dev/null | grep -o 'JobState=[A-Z_]*' | head -n 1 | cut -d= -f2)
    case $state in COMPLETED|FAILED|CANCELLED|TIMEOUT|NODE_FAIL|OUT_OF_MEMORY) echo "$state"; return ;; esac
    sleep 0.2
  done
  echo "job $1 did not end (state $state)" >&2
  exit 1
}
job_of() { sed -n "s/.*$1 as job \([0-9]*\).*/\1/p"; }

# The reference: one run on this machine.
mkdir -p "$dir/single" "$dir/farm" "$dir/fail"
"$kurvo" eval --quiet "$scene" --frames all -o "$dir/single/tube.pc2"

echo "== 4 shards and the merge =="
"$kurvo" farm --quiet "$scene" --frames all -o "$dir/farm/tube.pc2" --shards 4 --partition kurvo | tee "$dir/farm.txt"
merge=$(job_of merge < "$dir/farm.txt")
[ "$(wait_job "$merge")" = COMPLETED ] || { echo "the merge job did not complete" >&2; exit 1; }
cmp "$dir/single/tube.pc2" "$dir/farm/tube.pc2"
cmp "$dir/single/tube.obj" "$dir/farm/tube.obj"
grep -q "frames \[" "$dir"/farm/tube.pc2.farm/logs/task-*_2.out || { echo "no progress in a shard's log" >&2; exit 1; }
echo "merged point cache and rest mesh equal the single run's"

echo "== a shard that fails, the merge refusing, the shard again alone =="
# A folder where shard 3's part goes makes that task, and only it, fail.
mkdir "$dir/fail/tube.pc2.part-3-of-4"
"$kurvo" farm --quiet "$scene" --frames all -o "$dir/fail/tube.pc2" --shards 4 | tee "$dir/fail.txt"
first=$(job_of shards < "$dir/fail.txt")
merge=$(job_of merge < "$dir/fail.txt")
[ "$(wait_job "$merge")" = FAILED ] || { echo "the merge did not refuse" >&2; exit 1; }
grep -h "shard 3/4: tube.pc2.part-3-of-4" "$dir"/fail/tube.pc2.farm/logs/merge-"$merge".out
[ ! -e "$dir/fail/tube.pc2" ] || { echo "a refused merge wrote its output" >&2; exit 1; }
[ "$(wait_job "${first}_3")" = FAILED ]
rmdir "$dir/fail/tube.pc2.part-3-of-4"
again=$(sbatch --parsable --array=3 "$dir/fail/tube.pc2.farm/shards.sbatch")
[ "$(wait_job "${again%%;*}")" = COMPLETED ]
merge=$(sbatch --parsable "$dir/fail/tube.pc2.farm/merge.sbatch")
[ "$(wait_job "${merge%%;*}")" = COMPLETED ]
cmp "$dir/single/tube.pc2" "$dir/fail/tube.pc2"
echo "after shard 3 alone and the merge, the point cache equals the single run's"

echo "== a batch of scenes, one task each =="
mkdir -p "$dir/batch"
cp "$scene" "$dir/batch/scene one.json"
printf '# scene output\n"scene one.json" out/one.obj\n%s out/two.glb\n' "$examples/tube-on-arc.json" \
  > "$dir/batch/list.txt"
"$kurvo" farm --quiet --batch "$dir/batch/list.txt" | tee "$dir/batch.txt"
batch=$(sed -n 's/.* as job \([0-9]*\).*/\1/p' "$dir/batch.txt")
[ "$(wait_job "$batch")" = COMPLETED ] || { echo "the batch did not complete" >&2; exit 1; }
"$kurvo" eval --quiet "$scene" -o "$dir/single/one.obj"
"$kurvo" eval --quiet "$examples/tube-on-arc.json" -o "$dir/single/two.glb"
cmp "$dir/single/one.obj" "$dir/batch/out/one.obj"
cmp "$dir/single/two.glb" "$dir/batch/out/two.glb"
echo "each line of the batch wrote what its own eval writes"
