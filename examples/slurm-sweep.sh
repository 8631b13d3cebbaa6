#!/usr/bin/env bash
# A sweep on a Slurm cluster: each task of a job array runs one shard of the sweep on the
# processors Slurm gives it, and a job that starts when every task has succeeded merges the
# shards into one CSV, the same bytes as the sweep run in one process. When a task fails,
# Slurm cancels the merge instead of leaving it pending. A task that its time limit ends
# keeps the points it finished (shards/shard-K.csv.partial): submit the script again and
# only what is left runs (finished shards are skipped, an interrupted one resumes), then the
# merge.
#
#   examples/slurm-sweep.sh     on the login node, from the project's folder: submits both
#
# Set LV_SWEEP to where lv-sweep is on the nodes and LV_CPUS to the processors each shard asks
# for (no more than a node has), and edit SWEEP below. LV_SHARDS, LV_STEPS (values of each
# varied parameter) and LV_TIME resize the sweep without editing it.
#SBATCH --job-name=lv-sweep
#SBATCH --time=02:00:00
#SBATCH --output=shards/slurm-%A_%a.out
set -euo pipefail

LV_SWEEP=${LV_SWEEP:-build/bin/lv-sweep}
LV_CPUS=${LV_CPUS:-2}
SHARDS=${LV_SHARDS:-16}
STEPS=${LV_STEPS:-401}
SWEEP=(--quiet --time "${LV_TIME:-8000}" --vary "r(1)=0.5:1:$STEPS"
       --vary "a(0,1)=0.9:1.3:$STEPS" examples/chaotic-4.p)

if [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
    mkdir -p shards
    # The tasks read LV_* from the environment they are submitted with: --export=ALL, even
    # where the site's default exports nothing.
    array=$(sbatch --parsable --export=ALL --cpus-per-task="$LV_CPUS" \
        --array=0-$((SHARDS - 1)) "$0")
    array=${array%%;*}
    # The merge job's command: sweep.csv appears whole, or not at all when the merge fails.
    merge="'$LV_SWEEP' merge -o sweep.csv shards/shard-*.csv"
    job=$(sbatch --parsable --dependency=afterok:"$array" --kill-on-invalid-dep=yes \
        --job-name=lv-sweep-merge --output=shards/merge-%j.out --wrap "$merge")
    echo "Shards submitted as job $array, their merge as job ${job%%;*}:" \
        "sweep.csv is written when all shards have run."
    exit 0
fi

# One array task: shard K of N, K being the task's index; done already when its CSV is there.
csv=shards/shard-$SLURM_ARRAY_TASK_ID.csv
[ -f "$csv" ] && exit 0
"$LV_SWEEP" "${SWEEP[@]}" --threads "${SLURM_CPUS_PER_TASK:-1}" \
    --shard "$SLURM_ARRAY_TASK_ID/$SHARDS" --csv "$csv" --resume
