#!/usr/bin/env bash
# A sweep on a Slurm cluster: each task of a job array runs one shard of the sweep on the
# processors Slurm gives it, and a job that starts when every task has succeeded merges the
# shards into one CSV, the same bytes as the sweep run in one process.
#
#   examples/slurm-sweep.sh     on the login node, from the project's folder: submits both
#
# Set LV_SWEEP to where lv-sweep is on the nodes, and edit SHARDS and SWEEP below.
#SBATCH --job-name=lv-sweep
#SBATCH --cpus-per-task=8
#SBATCH --time=02:00:00
#SBATCH --output=shards/slurm-%A_%a.out
set -euo pipefail

LV_SWEEP=${LV_SWEEP:-build/bin/lv-sweep}
SHARDS=16
SWEEP=(--quiet --time 8000 --vary 'r(1)=0.5:1:401' --vary 'a(0,1)=0.9:1.3:401'
       examples/chaotic-4.p)

if [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
    mkdir -p shards
    array=$(sbatch --parsable --array=0-$((SHARDS - 1)) "$0")
    sbatch --parsable --dependency=afterok:"${array%%;*}" --job-name=lv-sweep-merge \
        --output=shards/merge-%j.out --wrap "'$LV_SWEEP' merge -o sweep.csv shards/shard-*.csv"
    echo "Shards submitted as job ${array%%;*}; sweep.csv is written when all of them have run."
    exit 0
fi

# One array task: shard K of N, K being the task's index.
"$LV_SWEEP" "${SWEEP[@]}" --threads "${SLURM_CPUS_PER_TASK:-1}" \
    --shard "$SLURM_ARRAY_TASK_ID/$SHARDS" --csv "shards/shard-$SLURM_ARRAY_TASK_ID.csv"
