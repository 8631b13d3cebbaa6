#!/usr/bin/env bash
# The Lyapunov spectrum of a run, side by side: lv-bench's BM_Spectrum (the whole run with the
# spectrum, ns a step) beside the same spectrum in numpy (bench/exponents_numpy.py, QR at the
# same interval), and BM_RunModel (the run alone) for the cost of the spectrum.
#   bench/compare_exponents.sh      (after scripts/build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lscpu | sed -n 's/^Model name: *//p'
json=$("$root/build/bin/lv-bench" --benchmark_filter='BM_Spectrum/|BM_RunModel/' \
    --benchmark_repetitions=3 --benchmark_report_aggregates_only=true --benchmark_format=json)
numpy=$(/usr/bin/python3 "$root/bench/exponents_numpy.py" time 4 10 51)
/usr/bin/python3 - "$json" "$numpy" <<'PY'
import json, sys
bench = {b["run_name"]: b["ns_per_step"] for b in json.loads(sys.argv[1])["benchmarks"]
         if b.get("aggregate_name") == "median"}
numpy = dict(line.split() for line in sys.argv[2].splitlines())
print(f"{'species':>7} {'run ns':>8} {'spectrum ns':>12} {'spectrum/run':>12} {'numpy ns':>10} {'numpy/spectrum':>14}")
for n in ("4", "10", "51"):
    run, spectrum = bench[f"BM_RunModel/{n}"], bench[f"BM_Spectrum/{n}"]
    peer = float(numpy[n]) * 1000
    print(f"{n:>7} {run:8.1f} {spectrum:12.1f} {spectrum / run:12.2f} {peer:10.0f} {peer / spectrum:14.1f}")
PY
