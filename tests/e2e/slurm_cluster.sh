#!/usr/bin/env bash
# The Slurm job-array script of examples/, made small, on a real one-node cluster that the
# test brings up (slurm_cluster_lib.sh), submitted twice at once from two copies of the
# project's folder:
#   - every shard runs: the merged sweep.csv must be the one-process sweep byte for byte,
#     and each task must have had the processors LV_CPUS asks for (2 when unset);
#   - shard 1 cannot write its CSV: that task fails, the others complete, and Slurm must
#     cancel the merge rather than leave it pending for ever; no sweep.csv appears.
# Skipped (77) unless run as root with the slurm-wlm and munge packages.
#   slurm_cluster.sh LV_SWEEP SOURCE_DIR
set -euo pipefail
sweep=$1
source=$2
# shellcheck source=slurm_cluster_lib.sh
. "$(dirname "$0")/slurm_cluster_lib.sh"
slurm_cluster_require

slurm_cluster_scratch

slurm_cluster_start

for run in whole broken; do
    mkdir -p "$work/$run/build/bin" "$work/$run/examples"
    ln -s "$sweep" "$work/$run/build/bin/lv-sweep"
    cp "$source/examples/chaotic-4.p" "$source/examples/slurm-sweep.sh" "$work/$run/examples/"
done
# A folder where shard 1's CSV goes: lv-sweep cannot write it.
mkdir -p "$work/broken/shards/shard-1.csv"

# The default of 2 processors a shard fits this node only if it has 2.
if [ "$(nproc)" -ge 2 ]; then
    cpus=2
    unset LV_CPUS
else
    cpus=1
    export LV_CPUS=1
fi
export LV_SHARDS=3 LV_STEPS=4 LV_TIME=20
(cd "$work/whole" && bash examples/slurm-sweep.sh)
(cd "$work/broken" && LV_CPUS=1 bash examples/slurm-sweep.sh)
slurm_cluster_wait 60 "$work/whole/shards" "$work/broken/shards"

# The jobs submitted from RUN's folder: "NAME[_TASK] STATE CPUS", sorted.
jobs_of() {
    local id name state n dir
    slurm_cluster_jobs | while read -r id name state n dir; do
        [ "$dir" = "$work/$1" ] || continue
        case $id in
            *_*) echo "${name}_${id#*_} $state $n" ;;
            *) echo "$name $state $n" ;;
        esac
    done | sort
}
expect_jobs() {
    if ! diff <(jobs_of "$1") - >&2; then
        echo "the jobs of the $1 sweep (<) are not as expected (>)" >&2
        slurm_cluster_diagnose "$work/$1/shards"
        exit 1
    fi
}
expect_jobs whole <<EOF
lv-sweep-merge COMPLETED 1
lv-sweep_0 COMPLETED $cpus
lv-sweep_1 COMPLETED $cpus
lv-sweep_2 COMPLETED $cpus
EOF
expect_jobs broken <<EOF
lv-sweep-merge CANCELLED 1
lv-sweep_0 COMPLETED 1
lv-sweep_1 FAILED 1
lv-sweep_2 COMPLETED 1
EOF

cd "$work/whole"
"$sweep" --quiet --time 20 --vary 'r(1)=0.5:1:4' --vary 'a(0,1)=0.9:1.3:4' \
    --csv whole.csv examples/chaotic-4.p
if ! cmp whole.csv sweep.csv; then
    echo "the merged shards of the job array differ from the one-process sweep" >&2
    exit 1
fi
cd "$work"
if [ -e broken/sweep.csv ]; then
    echo "a sweep.csv was written although shard 1 failed" >&2
    exit 1
fi
if ! grep -q 'shard-1.csv' broken/shards/slurm-*_1.out; then
    echo "shard 1 of the broken sweep failed, but not for want of its CSV:" >&2
    cat broken/shards/slurm-*_1.out >&2
    exit 1
fi
echo "Slurm cluster: 3 shards merged into the one-process CSV" \
    "($(($(wc -l <whole/whole.csv) - 1)) points); a failed shard cancelled the merge"
