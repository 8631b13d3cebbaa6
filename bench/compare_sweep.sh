#!/usr/bin/env bash
# The 1,000-point sweep of the chaotic four-species system (1,000 seeds, 80,001 steps each)
# timed side by side: lv-sweep on 1 and on every thread, the batched numpy peer, and 1,000
# lv-run processes. Wall seconds, ROUNDS times each; then how many of numpy's populations and
# exponents are lv-sweep's to the last bit.
#   bench/compare_sweep.sh [ROUNDS]      (after scripts/build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/bin
file=$root/examples/chaotic-4.p
rounds=${1:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seconds() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null
    awk "BEGIN { printf \"%.2f\", $EPOCHREALTIME - $start }"
}
lvRunEach() {
    for seed in $(seq 1 1000); do "$bin/lv-run" --json --random --seed "$seed" "$file"; done
}

lscpu | sed -n 's/^Model name: *//p'
echo "processors usable: $(nproc)"
for ((i = 1; i <= rounds; i++)); do
    printf 'round %d: lv-sweep 1 thread %s s, %s threads %s s, numpy %s s, 1000 lv-run %s s\n' "$i" \
        "$(seconds "$bin/lv-sweep" --quiet --threads 1 --seeds 1:1000 "$file")" "$(nproc)" \
        "$(seconds "$bin/lv-sweep" --quiet --seeds 1:1000 "$file")" \
        "$(seconds /usr/bin/python3 "$root/bench/sweep_numpy.py" "$file" 1 1000)" \
        "$(seconds lvRunEach)"
done

"$bin/lv-sweep" --quiet --seeds 1:1000 --csv "$work/sweep.csv" "$file"
/usr/bin/python3 "$root/bench/sweep_numpy.py" "$file" 1 1000 >"$work/numpy.txt"
/usr/bin/python3 - "$work/sweep.csv" "$work/numpy.txt" <<'PY'
import csv, sys
# As numbers: the CSV has the shortest texts, the peer 17 digits.
sweep = {r["seed"]: [float(r[k]) for k in ("LE", "x0", "x1", "x2", "x3")]
         for r in csv.DictReader(open(sys.argv[1]))}
rows = [line.strip().split(",") for line in open(sys.argv[2])]
rows = [(f[0], [float(v) for v in f[1:]]) for f in rows]
x = sum(1 for seed, f in rows if sweep[seed][1:] == f[1:])
le = sum(1 for seed, f in rows if sweep[seed][0] == f[0])
worst = max(abs(sweep[seed][0] - f[0]) / abs(f[0]) for seed, f in rows)
print(f"numpy against lv-sweep, {len(rows)} seeds: final populations equal to the last bit "
      f"for {x}, exponents for {le}; largest relative difference of an exponent {worst:.1e}")
PY
