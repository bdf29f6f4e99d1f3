#!/usr/bin/env bash
# ftir-reduce over a Slurm job array: array task K of N converts every N-th file of the list
# from the K-th (ftir-reduce --shard K/N), so the tasks together cover the list once. The
# outputs go to one folder on a file system every node sees; each task writes its own
# summary, and the summaries concatenate.
#
#   sbatch --array=1-8 contrib/slurm-array.sh LIST [OUTDIR] [OPTION...]
#
# LIST holds one interferogram path a line (blank lines are passed over); OPTION... are
# passed on to ftir-reduce (window, resolution, range, laser, ...). The array may start at
# any index (--array=0-7 as well as 1-8) and may have a step (--array=0-14:2): the task
# with the lowest index is shard 1. A task ends with status 0 also when it skipped files:
# they are listed, with their reasons, in its summary summary-K.csv.
#SBATCH --job-name=ftir-reduce
#SBATCH --cpus-per-task=2
#SBATCH --output=ftir-reduce-%A_%a.log
set -euo pipefail
usage="usage: sbatch --array=1-N contrib/slurm-array.sh LIST [OUTDIR] [OPTION...]"
list=${1:?$usage}
out=${2:-spectra}
shift $(($# < 2 ? $# : 2))
task=${SLURM_ARRAY_TASK_ID:?run it as an array job: sbatch --array=1-N}
min=${SLURM_ARRAY_TASK_MIN:-1}
step=${SLURM_ARRAY_TASK_STEP:-1}
if [ -n "${SLURM_ARRAY_TASK_COUNT:-}" ]; then
  tasks=$SLURM_ARRAY_TASK_COUNT
else
  tasks=$(((${SLURM_ARRAY_TASK_MAX:?$usage} - min) / step + 1))
fi
k=$(((task - min) / step + 1))
if [ $(((task - min) % step)) -ne 0 ] || [ "$k" -lt 1 ] || [ "$k" -gt "$tasks" ]; then
  echo "slurm-array.sh: task $task is not one of $tasks tasks from $min in steps of $step" >&2
  exit 1
fi
status=0
ftir-reduce --shard "$k/$tasks" -j "${SLURM_CPUS_PER_TASK:-1}" -o "$out" -q \
  --summary "$out/summary-$k.csv" --files-from "$list" "$@" || status=$?
[ "$status" -eq 2 ] && status=0
exit "$status"
