#!/usr/bin/env bash
# A shard ended by its time limit, and the sweep resumed, on a real one-node cluster
# (slurm_cluster_lib.sh): the Slurm job-array script of examples/ runs a sweep of two shards;
# shard 1's time limit runs out while it runs (SIGTERM, then SIGKILL KillWait seconds later),
# and it must keep the points it finished in shard-1.csv.partial while the merge is
# cancelled. The script submitted again skips shard 0, resumes shard 1 and merges: sweep.csv
# must be the one-process sweep byte for byte, and no partial file is left.
# Skipped (77) unless run as root with the slurm-wlm and munge packages.
#   slurm_resume.sh LV_SWEEP LV_RUN SOURCE_DIR
set -euo pipefail
sweep=$1
run=$2
source=$3
# shellcheck source=slurm_cluster_lib.sh
. "$(dirname "$0")/slurm_cluster_lib.sh"
slurm_cluster_require

slurm_cluster_scratch

slurm_cluster_start KillWait=2
mkdir -p "$work/build/bin" "$work/examples"
ln -s "$sweep" "$work/build/bin/lv-sweep"
cp "$source/examples/chaotic-4.p" "$source/examples/slurm-sweep.sh" "$work/examples/"

# A point's run time such that shard 1 (12 of 25 points, one at a time) takes some 48 s on
# this machine: longer than the controller takes to see the time limit (30 s at most). The
# least of three timings, since other tests may be busy on the machine while it is timed:
# a timing slowed by them would make the points too short, and shard 1 would end in time.
timings=()
for _ in 1 2 3; do
    start=$EPOCHREALTIME
    "$run" --time 70000 "$source/examples/chaotic-4.p" >/dev/null
    timings+=("$(awk "BEGIN { print $EPOCHREALTIME - $start }")")
done
took=$(printf '%s\n' "${timings[@]}" | sort -g | head -n 1)
time=$(awk "BEGIN { t = int(70000 * 4 / $took); print (t < 1000 ? 1000 : t) }")
export LV_SHARDS=2 LV_STEPS=5 LV_TIME=$time LV_CPUS=1 LV_SWEEP_LANES=single

cd "$work"
submitted=$(bash examples/slurm-sweep.sh)
# "Shards submitted as job A, their merge as job M: ..."
first=$(sed -n 's/.*as job \([0-9]*\), their merge.*/\1/p' <<<"$submitted")
merge=$(sed -n 's/.*their merge as job \([0-9]*\).*/\1/p' <<<"$submitted")
slurm_cluster_wait_running "${first}_1" 60
sleep 2
slurm_cluster_expire "${first}_1"
slurm_cluster_wait 120 shards

state_of() {  # a job or task of the first submission, by its id: its state
    slurm_cluster_jobs | awk -v id="$1" '$1 == id { print $3 }'
}
check() {
    if ! eval "$1"; then
        echo "not so: $2" >&2
        slurm_cluster_diagnose shards
        exit 1
    fi
}
check '[ "$(state_of "${first}_1")" = TIMEOUT ]' "shard 1 ended by its time limit"
check '[ "$(state_of "${first}_0")" = COMPLETED ]' "shard 0 completed"
check '[ "$(state_of "$merge")" = CANCELLED ]' "the merge cancelled"
check '[ -f shards/shard-1.csv.partial ] && [ ! -e shards/shard-1.csv ] && [ ! -e sweep.csv ]' \
    "shard 1 kept its finished points in shard-1.csv.partial, and wrote no CSV"
kept=$(($(wc -l <shards/shard-1.csv.partial) - 1))
check '[ "$kept" -ge 1 ] && [ "$kept" -lt 12 ]' "shard 1 kept some of its points ($kept)"
check '! ls shards/.lv-save-* 2>/dev/null' "no temporary file left"

bash examples/slurm-sweep.sh
slurm_cluster_wait 120 shards
check '[ -f sweep.csv ] && [ ! -e shards/shard-1.csv.partial ]' \
    "the resumed sweep merged, and its partial file is gone"
unset LV_SWEEP_LANES
"$sweep" --quiet --time "$time" --vary 'r(1)=0.5:1:5' --vary 'a(0,1)=0.9:1.3:5' \
    --csv whole.csv examples/chaotic-4.p
if ! cmp whole.csv sweep.csv; then
    echo "the resumed sweep differs from the one-process sweep" >&2
    exit 1
fi
echo "Slurm cluster: shard 1 stopped by its time limit with $kept of its 12 points kept," \
    "resumed, and merged into the one-process CSV"
