#!/usr/bin/env bash
# How long lv-run takes to start: a one-step run of the chaotic four species beside /bin/true,
# taken in turns N times each (the median and the least, in milliseconds); then a loop of
# 1,000 lv-run processes, each a whole run of that file from its own random start (80,001
# steps), as a shell script would run them.
#   bench/startup.sh [N]      (after scripts/build; N defaults to 50)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
run=$root/build/bin/lv-run
file=$root/examples/chaotic-4.p
count=${1:-50}

lscpu | sed -n 's/^Model name: *//p'
/usr/bin/python3 - "$count" "$run" "$file" <<'PY'
import statistics, subprocess, sys, time
count, run, file = int(sys.argv[1]), sys.argv[2], sys.argv[3]
commands = {"/bin/true": ["/bin/true"],
            "lv-run --steps 1": [run, "--steps", "1", "--continuous", file]}
taken = {name: [] for name in commands}
for _ in range(count):
    for name, command in commands.items():
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
        taken[name].append((time.perf_counter() - start) * 1000)
for name, ms in taken.items():
    print(f"{name:18} median {statistics.median(ms):6.2f} ms, least {min(ms):6.2f} ms")
gap = statistics.median(taken["lv-run --steps 1"]) - statistics.median(taken["/bin/true"])
print(f"lv-run starts {gap:.2f} ms after /bin/true (medians of {count})")
PY
start=$EPOCHREALTIME
for seed in $(seq 1 1000); do "$run" --json --random --seed "$seed" "$file" >/dev/null; done
awk "BEGIN { printf \"1,000 lv-run processes of 80,001 steps: %.2f s\n\", $EPOCHREALTIME - $start }"
