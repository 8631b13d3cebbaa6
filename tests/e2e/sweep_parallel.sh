#!/usr/bin/env bash
# A sweep split into three shards that GNU parallel runs as separate processes, then merged:
# the merged CSV must be the one-process sweep byte for byte.
#   sweep_parallel.sh LV_SWEEP PARAMETER_FILE
set -euo pipefail
sweep=$1
file=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

args=(--quiet --time 60 --vary 'r(1)=0.5:1:9' --vary 'a(0,1)=0.9:1.3:4' --seeds 1:2)
"$sweep" "${args[@]}" --csv "$work/whole.csv" "$file"
# -q quotes every argument for the shell that parallel starts (the names hold parentheses).
parallel --will-cite -q --halt now,fail=1 \
    "$sweep" "${args[@]}" --threads 1 --shard {}/3 --csv "$work/shard-{}.csv" "$file" ::: 0 1 2
"$sweep" merge "$work/shard-2.csv" "$work/shard-0.csv" "$work/shard-1.csv" >"$work/merged.csv"

rows=$(($(wc -l <"$work/whole.csv") - 1))
[ "$rows" -eq 72 ] || { echo "expected 72 points, the sweep has $rows" >&2; exit 1; }
for k in 0 1 2; do
    [ "$(($(wc -l <"$work/shard-$k.csv") - 1))" -eq 24 ] || { echo "shard $k is not a third" >&2; exit 1; }
done
if ! cmp "$work/whole.csv" "$work/merged.csv"; then
    echo "the merged shards differ from the one-process sweep" >&2
    exit 1
fi
echo "3 shards through GNU parallel, merged: the one-process CSV byte for byte ($rows points)"
