#!/usr/bin/python3
"""How the exponent of one run settles: the exponent so far against model time.

One run with its history (the rows of ``lv-run --history``: the exponent so
far at every chart column), drawn with the run's final exponent and 0 as
references.  The first tenth of the run, whose few terms stray far, is left
out of the scale.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/le_convergence.py
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
    parser.add_argument("--time", type=float, default=None,
                        help="run time (default: the file's)")
    parser.add_argument("--output", default="le-convergence.png", help="the figure (PNG)")
    args = parser.parse_args()

    result = lv.run(args.file, time=args.time, history=True)
    history = result.history
    settled = history[history["t"] >= history["t"].iloc[-1] / 10]["LE"]
    low, high = min(settled.min(), 0.0), max(settled.max(), 0.0)
    margin = 0.1 * (high - low) or 1e-3

    figure, axes = plt.subplots(figsize=(9.6, 5.4), dpi=100)
    axes.plot(history["t"], history["LE"], color="0.2", linewidth=1.2, label="LE so far")
    axes.axhline(result.le, color="#b2182b", linestyle=":", linewidth=1.2,
                 label=f"LE at the end = {result.le:.6f}")
    axes.axhline(0, color="0.4", linestyle="--", linewidth=1, label="LE = 0")
    axes.set_ylim(low - margin, high + margin)
    axes.set_xlim(0, history["t"].iloc[-1])
    axes.set_xlabel("t (model time)")
    axes.set_ylabel("LE so far (sum of the terms / steps)")
    axes.set_title(f"Lyapunov exponent so far \u2014 {args.file.name} ({result.steps} steps)")
    axes.grid(color="0.9")
    axes.legend(loc="lower right")
    figure.tight_layout()
    figure.savefig(args.output)
    print(f"LE = {result.le:.6f} after {result.steps} steps, {len(history)} rows: "
          f"{args.output}")


if __name__ == "__main__":
    main()
