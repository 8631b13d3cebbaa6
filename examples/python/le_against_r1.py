#!/usr/bin/python3
"""The Lyapunov exponent of the chaotic four-species system against r(1).

The sweep of examples/sweeps/README.md, made from Python: 101 runs of
chaotic-4.p with r(1) from 0.5 to 1 over a run time of 4000, each point the
run ``lv-run --json`` makes of it, drawn as a matplotlib figure (red where the
exponent is above 0, blue at or below, the dashed line at LE = 0).

    PYTHONPATH=build/python /usr/bin/python3 examples/python/le_against_r1.py
"""

import argparse
import pathlib

import matplotlib.pyplot as plt

import lotkavolterra as lv

EXAMPLES = pathlib.Path(__file__).resolve().parents[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--file", default=EXAMPLES / "chaotic-4.p", type=pathlib.Path,
                        help="the parameter file (default: examples/chaotic-4.p)")
    parser.add_argument("--time", type=float, default=4000, help="run time (default 4000)")
    parser.add_argument("--points", type=int, default=101, help="values of r(1) (default 101)")
    parser.add_argument("--output", default="le-against-r1.png", help="the figure (PNG)")
    args = parser.parse_args()

    frame = lv.sweep(args.file, vary={"r(1)": (0.5, 1.0, args.points)}, time=args.time)
    ok = frame[frame["status"] == "ok"]
    chaotic = ok["LE"] > 0

    figure, axes = plt.subplots(figsize=(9.6, 5.4), dpi=100)
    axes.plot(ok["r(1)"], ok["LE"], color="0.3", linewidth=1, zorder=1)
    axes.scatter(ok["r(1)"][chaotic], ok["LE"][chaotic], color="#b2182b", s=22, zorder=2,
                 label="LE > 0")
    axes.scatter(ok["r(1)"][~chaotic], ok["LE"][~chaotic], color="#2166ac", s=22, zorder=2,
                 label="LE \u2264 0")
    axes.axhline(0, color="0.4", linestyle="--", linewidth=1)
    axes.set_xlabel("r(1)")
    axes.set_ylabel("LE (Lyapunov exponent)")
    axes.set_title(f"Lyapunov exponent against r(1) \u2014 {args.file.name} "
                   f"({len(frame)} points, run time {args.time:g})")
    axes.grid(color="0.9")
    axes.legend(loc="upper right")
    figure.tight_layout()
    figure.savefig(args.output)
    print(f"{len(frame)} points, {int(chaotic.sum())} with LE > 0, "
          f"{len(frame) - len(ok)} failed: {args.output}")


if __name__ == "__main__":
    main()
