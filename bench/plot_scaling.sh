#!/usr/bin/env bash
# What lv-sweep --plot costs as the points grow: for each plot kind, the sweep with the plot
# and without it (one step a point, so that the sweep itself is small beside the plot), the
# wall time and the peak resident memory from GNU time; then shards of huge sweeps, whose
# plots must cost what their few points cost, not what the whole sweep would.
#   bench/plot_scaling.sh [BIN] [MAXPOINTS]
# BIN: the folder of lv-sweep and lv-plots.so (default build/bin, after scripts/build);
# MAXPOINTS: the largest sweep (default 1000000). Prints one line a case.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
max=${2:-1000000}
sweep=$bin/lv-sweep
file=$root/examples/chaotic-4.p
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wall seconds and peak resident memory (MB) of a command, from GNU time.
measure() {
    if ! /usr/bin/time -v "$@" 2>"$work/time" >/dev/null; then
        printf '%-24s' "failed: $(grep -m1 lv-sweep "$work/time" | cut -c1-60)"
        return
    fi
    awk -F': ' '/Maximum resident set size/ { rss = $2 }
        /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = t[n] + 60 * t[n - 1] }
        END { printf "%7.2f s %7.1f MB", s, rss / 1024 }' "$work/time"
}

# One case: the sweep with and without the plot.
row() {
    local label=$1
    shift
    printf '%-44s plot %s   no plot %s\n' "$label" \
        "$(measure "$sweep" --quiet --steps 1 --csv /dev/null --plot "$work/p.png" "$@" "$file")" \
        "$(measure "$sweep" --quiet --steps 1 --csv /dev/null "$@" "$file")"
}

lscpu | sed -n 's/^Model name: *//p'
echo "processors usable: $(nproc)"
for n in 1000 10000 100000 1000000; do
    [ "$n" -le "$max" ] || continue
    row "line, $n points" --vary "r(1)=0.5:1:$n"
done
for side in 100 300 1000; do
    [ $((side * side)) -le "$max" ] || continue
    row "map, $side x $side points" --vary "r(1)=0.5:1:$side" --vary "a(0,1)=0.9:1.3:$side"
done
for n in 10000 100000 1000000; do
    [ "$n" -le "$max" ] || continue
    row "histogram, $n seeds" --seeds "1:$n"
done
row "line, 1 point of 100000000 (a shard)" --vary 'r(1)=0.5:1:100000000' \
    --shard 0/100000000
row "map, 10 points of 100000 x 100000" --vary 'r(1)=0.5:1:100000' \
    --vary 'a(0,1)=0.9:1.3:100000' --shard 0/1000000000
