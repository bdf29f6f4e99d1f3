#!/usr/bin/env bash
# ftir-reduce over a Slurm job array: array task K of N converts every N-th file of the list
# from the K-th (ftir-reduce --shard K/N), so the tasks together cover the list once. The
# outputs go to one folder on a file system every node sees; each task writes its own
# summary, and the summaries concatenate.
#
#   sbatch --array=1-8 contrib/slurm-array.sh LIST [OUTDIR] [OPTION...]
#
# LIST holds one interferogram path a line; OPTION... are passed on to ftir-reduce (window,
# resolution, range, laser, ...). A task ends with status 0 also when it skipped files:
# they are listed, with their reasons, in its summary.
#SBATCH --job-name=ftir-reduce
#SBATCH --cpus-per-task=2
#SBATCH --output=ftir-reduce-%A_%a.log
set -euo pipefail
list=${1:?usage: sbatch --array=1-N contrib/slurm-array.sh LIST [OUTDIR] [OPTION...]}
out=${2:-spectra}
shift $(($# < 2 ? $# : 2))
task=${SLURM_ARRAY_TASK_ID:?run it as an array job: sbatch --array=1-N}
tasks=${SLURM_ARRAY_TASK_COUNT:-$SLURM_ARRAY_TASK_MAX}
mapfile -t files <"$list"
status=0
ftir-reduce --shard "$task/$tasks" -j "${SLURM_CPUS_PER_TASK:-1}" -o "$out" -q \
  --summary "$out/summary-$task.csv" "$@" -- "${files[@]}" || status=$?
[ "$status" -eq 2 ] && status=0
exit "$status"
