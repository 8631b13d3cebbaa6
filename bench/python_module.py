#!/usr/bin/python3
"""The Python module's cost, side by side with the programs and the C++ it wraps.

1. A sweep of 1,000 points from Python, ``lotkavolterra.sweep(model,
   seeds=(1, 1000))`` (the data frame included), against ``lv-sweep --quiet
   --seeds 1:1000 FILE`` (the process, its reading of the file and its CSV
   included) for the same points, in alternating rounds, on one thread and on
   every usable processor.
2. The overhead of one ``lotkavolterra.run`` call on a 1-step run: the call's
   time against the same run in C++ alone (the model copied, the chart's row
   rule, the run), each the best of several rounds of many calls.

Run after scripts/build, from anywhere:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_module.py [--rounds R]
"""

import argparse
import pathlib
import platform
import statistics
import subprocess
import time
import timeit

import lotkavolterra as lv

ROOT = pathlib.Path(__file__).resolve().parents[1]


def processor():
    """Return the processor's name, family and model, as /proc/cpuinfo gives them."""
    fields = {}
    with open("/proc/cpuinfo") as f:
        for line in f:
            key, _, value = line.partition(":")
            fields.setdefault(key.strip(), value.strip())
    return (f"{fields.get('model name', platform.processor())}, family "
            f"{fields.get('cpu family', '?')} model {fields.get('model', '?')}, "
            f"{lv.usable_processors()} usable processors")


def seconds(work):
    """Return the wall seconds `work` takes."""
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def compare_sweeps(path, rounds, threads):
    """Time the 1,000-seed sweep from Python and with lv-sweep, alternately."""
    model = lv.load(path)
    command = [str(ROOT / "build" / "bin" / "lv-sweep"), "--quiet", "--seeds", "1:1000",
               "--threads", str(threads), str(path)]
    lv.sweep(model, seeds=(1, 1000), threads=threads)  # the lanes are timed once a process
    python, program = [], []
    for _ in range(rounds):
        python.append(seconds(lambda: lv.sweep(model, seeds=(1, 1000), threads=threads)))
        program.append(seconds(lambda: subprocess.run(command, stdout=subprocess.DEVNULL,
                                                      check=True)))
    print(f"sweep of 1,000 seeds of {path.name}, {threads} thread(s), {rounds} rounds, "
          f"seconds:")
    for name, times in (("lotkavolterra.sweep", python), ("lv-sweep", program)):
        print(f"  {name:20} least {min(times):.3f}, median {statistics.median(times):.3f}, "
              f"most {max(times):.3f}")
    print(f"  Python against lv-sweep: least {min(python) / min(program):.3f}, "
          f"median {statistics.median(python) / statistics.median(program):.3f}")


def compare_one_step(path, rounds, calls):
    """Time run() on a 1-step run against the bare C++ run."""
    model = lv.load(path)
    lv.run(model, steps=1)
    python = min(timeit.repeat(lambda: lv.run(model, steps=1), number=calls,
                               repeat=rounds)) / calls * 1e9
    bare = min(lv._core._bare_run_ns(model, 1, calls) for _ in range(rounds))
    print(f"one run of 1 step of {path.name}, best of {rounds} rounds of {calls:,} calls, "
          f"ns a call:")
    print(f"  lotkavolterra.run  {python:8.0f}")
    print(f"  C++ alone          {bare:8.0f}")
    print(f"  overhead           {python - bare:8.0f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=7, help="rounds of each (default 7)")
    parser.add_argument("--file", type=pathlib.Path, default=ROOT / "examples" / "chaotic-4.p")
    args = parser.parse_args()
    print(processor())
    for threads in sorted({1, lv.usable_processors()}):
        compare_sweeps(args.file, args.rounds, threads)
    compare_one_step(args.file, args.rounds, 20000)


if __name__ == "__main__":
    main()
