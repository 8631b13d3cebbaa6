#!/usr/bin/env bash
# The memory `lv-sweep merge` needs for large shards: a sweep of the 51-species community
# (one step a point, about 1.1 KB a row) split into SHARDS shards of MB megabytes in all,
# merged into a file and into a pipe; the peak resident memory of each merge, as
# /usr/bin/time -v reports it, and its wall time. The goal: at most 50 MB for 1 GB.
# Needs about twice MB free under $TMPDIR.
#   bench/merge_memory.sh [MB] [SHARDS]      (default 1024 and 8; after scripts/build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sweep=$root/build/bin/lv-sweep
file=$root/examples/community-51.dat
mb=${1:-1024}
shards=${2:-8}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The number of points that makes MB megabytes, from the size of a small sweep's rows.
"$sweep" --quiet --steps 1 --seeds 1:1000 --csv "$work/probe.csv" "$file"
row=$(($(stat -c %s "$work/probe.csv") / 1000))
points=$((mb * 1024 * 1024 / row))
args=(--quiet --steps 1 --seeds "1:$points" "$file")
for ((k = 0; k < shards; k++)); do
    "$sweep" "${args[@]}" --shard "$k/$shards" --csv "$work/shard-$k.csv"
done
bytes=$(cat "$work"/shard-*.csv | wc -c)

# Peak resident memory (MB) and wall seconds of a command, from GNU time.
measure() {
    /usr/bin/time -v "$@" 2>"$work/time" >/dev/null || { cat "$work/time" >&2; exit 1; }
    awk -F': ' '/Maximum resident set size/ { rss = $2 }
        /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = t[n] + 60 * t[n - 1] }
        END { printf "%.1f MB peak, %.1f s", rss / 1024, s }' "$work/time"
}

lscpu | sed -n 's/^Model name: *//p'
echo "processors usable: $(nproc)"
printf '%d points in %d shards, %.0f MB\n' "$points" "$shards" "$(awk "BEGIN { print $bytes / 2^20 }")"
echo "merge -o FILE:          $(measure "$sweep" merge -o "$work/merged.csv" "$work"/shard-*.csv)"
rows=$(($(wc -l <"$work/merged.csv") - 1))
[ "$rows" -eq "$points" ] || { echo "the merged CSV has $rows rows, not $points" >&2; exit 1; }
rm "$work/merged.csv"
echo "merge to standard output: $(measure "$sweep" merge "$work"/shard-*.csv)"
