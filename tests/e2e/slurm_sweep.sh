#!/usr/bin/env bash
# The Slurm job-array script of examples/, made small, under a stand-in for sbatch that runs
# the array's tasks one after the other and then the merge: the merged sweep.csv must be the
# one-process sweep byte for byte.
#   slurm_sweep.sh LV_SWEEP SOURCE_DIR
set -euo pipefail
sweep=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/build/bin" "$work/examples" "$work/fake"
ln -s "$sweep" "$work/build/bin/lv-sweep"
cp "$source/examples/chaotic-4.p" "$work/examples/"
cp "$source/examples/slurm-sweep.sh" "$work/"

cat >"$work/fake/sbatch" <<'FAKE'
#!/usr/bin/env bash
# Runs what sbatch would queue, at once: every task of --array=0-M on the --cpus-per-task it
# asks for (1 if none), or the --wrap command.
set -euo pipefail
array= wrap= script= cpus=1
for arg in "$@"; do
    case $arg in
        --array=*) array=${arg#--array=} ;;
        --cpus-per-task=*) cpus=${arg#--cpus-per-task=} ;;
        --wrap) wrap=next ;;
        --*) ;;
        *) if [ "$wrap" = next ]; then wrap=$arg; else script=$arg; fi ;;
    esac
done
if [ -n "$array" ]; then
    for ((k = ${array%-*}; k <= ${array#*-}; k++)); do
        SLURM_ARRAY_TASK_ID=$k SLURM_CPUS_PER_TASK=$cpus bash "$script"
    done
    echo "4242;cluster"
else
    bash -c "$wrap"
    echo 4243
fi
FAKE
chmod +x "$work/fake/sbatch"

cd "$work"
PATH="$work/fake:$PATH" LV_SHARDS=3 LV_STEPS=4 LV_TIME=20 bash slurm-sweep.sh
ls shards/shard-0.csv shards/shard-1.csv shards/shard-2.csv >/dev/null
"$sweep" --quiet --time 20 --vary 'r(1)=0.5:1:4' --vary 'a(0,1)=0.9:1.3:4' \
    --csv whole.csv examples/chaotic-4.p
if ! cmp whole.csv sweep.csv; then
    echo "the merged shards of the job array differ from the one-process sweep" >&2
    exit 1
fi
echo "Slurm job-array script: 3 shards merged into the one-process CSV ($(($(wc -l <whole.csv) - 1)) points)"
