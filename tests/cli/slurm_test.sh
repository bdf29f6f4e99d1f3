#!/usr/bin/env bash
# The Slurm recipe on a real single-node Slurm: starts munged, slurmctld and slurmd on this
# machine with a key, a slurm.conf and state folders of their own in a temporary folder,
# submits contrib/slurm-array.sh as a 3-task array over a list of generated interferograms,
# and checks that every file was converted exactly once and that the tasks' summaries add
# up to the rows of one run over the whole list. The daemons are stopped by their process
# ids and the folder removed however the test ends. Every wait is bounded.
#   tests/cli/slurm_test.sh FTIR_REDUCE MAKE_INTERFEROGRAM
# Exit status: 0 passed, 1 failed, 77 skipped (not root, Slurm or munge not installed, or
# the daemons cannot start here).
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
ftir_reduce=$(realpath "${1:?usage: slurm_test.sh FTIR_REDUCE MAKE_INTERFEROGRAM}")
make_interferogram=$(realpath "${2:?usage: slurm_test.sh FTIR_REDUCE MAKE_INTERFEROGRAM}")
export PATH="$(dirname "$ftir_reduce"):$PATH:/usr/sbin:/sbin"

skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAILED: $*"
  exit 1
}
# slurmd starts a job's steps as the job's user: that takes root.
[ "$(id -u)" -eq 0 ] || skip "slurmd needs root to start jobs"
for tool in munged mungekey slurmctld slurmd sbatch sinfo squeue scancel; do
  command -v "$tool" >/dev/null || skip "$tool not installed (Debian: slurm-wlm, munge)"
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/ftir-slurm.XXXXXX")
chmod 755 "$tmp"  # munged wants its socket's folder open to all
pids=()
# The jobs go first (their steps would outlive slurmd), then the daemons, newest first.
stop_all() {
  local status=$?
  if [ ${#pids[@]} -eq 3 ]; then
    timeout 10 scancel --quiet --user="$(id -un)" 2>/dev/null || true
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; --i)); do
    kill "${pids[i]}" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "${pids[i]}" 2>/dev/null || break
      sleep 0.2
    done
    kill -KILL "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    for log in "$tmp"/*.log "$tmp"/run/*.log; do
      [ -f "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }
    done
  fi
  rm -rf "$tmp"
  exit "$status"
}
trap stop_all EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# Waits up to $1 seconds for the command that follows to succeed, while the daemons live.
wait_for() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 5))); do
    "$@" >/dev/null 2>&1 && return 0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null || return 1; done
    sleep 0.2
  done
  return 1
}

# Two free TCP ports for the daemons (another Slurm on this machine keeps its own).
free_ports() {
  python3 - <<'EOF' 2>/dev/null || echo "$((20000 + RANDOM % 20000)) $((40000 + RANDOM % 20000))"
import socket
s = [socket.socket() for _ in range(2)]
for x in s:
    x.bind(('127.0.0.1', 0))
print(*(x.getsockname()[1] for x in s))
EOF
}

# munge: a key of its own, its socket, pid and seed in the folder.
mungekey --create --keyfile="$tmp/munge.key" >/dev/null 2>&1 || {
  dd if=/dev/urandom of="$tmp/munge.key" bs=1024 count=1 status=none
  chmod 600 "$tmp/munge.key"
}
munged --foreground --socket="$tmp/munge.sock" --key-file="$tmp/munge.key" \
  --pid-file="$tmp/munged.pid" --log-file="$tmp/munged.log" --seed-file="$tmp/munged.seed" \
  >"$tmp/munged.out" 2>&1 &
pids+=($!)
wait_for 20 test -S "$tmp/munge.sock" || skip "munged does not start here: $(tail -n 3 "$tmp/munged.out")"

host=$(hostname -s)
read -r ctld_port slurmd_port < <(free_ports)
mkdir "$tmp/state" "$tmp/spool" "$tmp/run"
# Process tracking and tasks that need no cgroups, no accounting: what runs in a container.
cat >"$tmp/slurm.conf" <<EOF
ClusterName=ftirtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge.sock
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
MailProg=/bin/true
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=debug Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$tmp/slurm.conf
slurmctld -D -f "$SLURM_CONF" >"$tmp/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$tmp/slurmd.out" 2>&1 &
pids+=($!)
node_idle() { [ "$(sinfo --noheader --nodes="$host" --format=%t)" = idle ]; }
wait_for 60 node_idle ||
  skip "Slurm's node does not come up here: $(tail -n 3 "$tmp/slurmd.log" "$tmp/slurmctld.log" 2>&1)"

# Seven interferograms of both sides, one in a folder and one with a space in its name, and
# one file that is not an interferogram: it is skipped, and its row is in a summary too.
cd "$tmp/run"
mkdir scans
names=(a.spc b.spc "c d.spc" scans/e.spc f.spc g.spc h.spc)
for i in "${!names[@]}"; do
  sides=(--center $((200 + 50 * i)))
  [ $((i % 2)) -eq 1 ] && sides=(--double)
  "$make_interferogram" --points 4096 "${sides[@]}" --seed "$i" --noise 1e-4 --format old \
    --date 2024-05-01T12:00 -o "${names[i]}" >/dev/null
done
printf 'not an interferogram\n' >broken.spc
names+=(broken.spc)
printf '%s\n' "${names[@]}" >list.txt

# One run over the whole list gives the rows the tasks together must give.
"$ftir_reduce" -o whole -q --laser 15800.823 --summary whole.csv -- "${names[@]}" >whole.log 2>&1 ||
  [ $? -eq 2 ] || fail "the run over the whole list failed"

set +e
timeout 150 sbatch --wait --array=1-3 --chdir="$tmp/run" "$source_dir/contrib/slurm-array.sh" \
  list.txt out --laser 15800.823 >sbatch.out 2>&1
status=$?
set -e
job=$(sed -n 's/^Submitted batch job \([0-9]*\).*/\1/p' sbatch.out)
[ "$status" -eq 124 ] && fail "the array job did not end within 150 s: $(squeue 2>&1)"
[ "$status" -eq 0 ] || fail "sbatch --wait ended with status $status: $(cat sbatch.out)"

# The rows without the milliseconds column, the output folder's name left out.
rows() { tail -q -n +2 "$@" | sed -e 's/,[^,]*$//' -e 's#\(^\|[,;"]\)\(out\|whole\)/#\1#g' | sort; }
for k in 1 2 3; do
  [ -f "out/summary-$k.csv" ] || fail "task $k wrote no summary"
done
inputs=$(tail -q -n +2 out/summary-[123].csv |
  sed -e 's/^"\([^"]*\)",.*/\1/' -e 't' -e 's/,.*//' | sort)
[ "$inputs" = "$(printf '%s\n' "${names[@]}" | sort)" ] ||
  fail "the summaries do not hold each file of the list once:"$'\n'"$inputs"
[ "$(rows out/summary-[123].csv)" = "$(rows whole.csv)" ] ||
  fail "the summaries' rows differ from one run's:"$'\n'"$(diff <(rows out/summary-[123].csv) <(rows whole.csv))"
# Every file converted exactly once: the spectra are those of the single run, no more, and
# no temporary file is left.
spectra() { (cd "$1" && find . -type f ! -name 'summary-*.csv' | sort); }
[ "$(spectra out)" = "$(spectra whole)" ] ||
  fail "the spectra differ from one run's:"$'\n'"$(diff <(spectra out) <(spectra whole))"
[ "$(spectra out | wc -l)" -eq 7 ] || fail "7 spectra expected: $(spectra out)"
# The writer stamps the time of day (bytes 18 to 23, from 0): the rest of each spectrum is the same.
while read -r f; do
  cmp -s <(head -c 18 "out/$f"; tail -c +25 "out/$f") <(head -c 18 "whole/$f"; tail -c +25 "whole/$f") ||
    fail "out/$f differs from whole/$f"
done < <(spectra out)
echo "slurm: 3 array tasks converted ${#names[@]} files once each (job $job)"
