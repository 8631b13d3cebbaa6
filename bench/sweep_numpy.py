#!/usr/bin/python3
"""The batched numpy peer of `lv-sweep --seeds FROM:TO FILE`, for the speed comparison.

M systems from the random initial populations of seeds FROM..TO step side by side in arrays
of shape (M, N), with the model's arithmetic operation by operation: the sums over j and the
sum of squares over k taken in index order (a loop over the index, not a reduction or a
matrix product, whose order numpy and BLAS choose), no fused multiply-add, the clamp after
the squared differences, and the perturbed copy pulled back to 1e-12. It has no failure
checks and no chart. Prints one line a seed, "seed,LE,x0,...", with 17 significant digits.

    sweep_numpy.py FILE.p FROM TO [--steps N]

The populations of seed S are those of `lv-run --random --seed S`: numpy's legacy generator
seeded with S is the same Mersenne Twister as the runner's, and u = (word >> 8) * 2^-24.
"""

import sys

import numpy as np


def read_row_style(path):
    """A row-style parameter file: count, run time and dt on line 2, then r, x, colours, a."""
    with open(path) as f:
        lines = f.read().splitlines()
    n, total_time, dt = lines[1].split()[:3]
    n = int(n)
    row = lambda i: [float(v) for v in lines[i].split()[:n]]
    r = np.array(row(2))
    a = np.array([row(5 + k) for k in range(n)])
    return n, float(total_time), float(dt), r, a


def populations(seeds, n):
    """The initial populations of each seed, as Random_Populations draws them."""
    x = np.empty((len(seeds), n))
    for i, seed in enumerate(seeds):
        words = np.random.RandomState(seed).randint(0, 2**32, size=n, dtype=np.uint64)
        x[i] = (words >> np.uint64(8)).astype(np.float64) * 2.0**-24 * 0.99 + 0.01
    return x


def steps_for(total_time, dt):
    t, steps = 0.0, 0
    while True:
        t = dt + t
        steps += 1
        if t >= total_time:
            return steps


def run(x, r, a, dt, steps):
    m, n = x.shape
    d0 = 10.0**-12
    xe = x.copy()
    xe[:, 1] = d0 + x[:, 1]
    le_sum = np.zeros(m)
    recip = 1 / dt
    for _ in range(steps):
        x_old, xe_old = x, xe
        s = np.zeros((m, n))
        se = np.zeros((m, n))
        for j in range(n):  # S(k) = a(k, j) * XOld(j) + S(k), j in order
            s = a[:, j] * x_old[:, j:j + 1] + s
            se = a[:, j] * xe_old[:, j:j + 1] + se
        x = dt * ((r * x_old) * (1 - s)) + x_old
        xe = dt * ((xe_old * r) * (1 - se)) + xe_old
        sum_sq = np.zeros(m)
        for k in range(n):  # in row order, before the clamp
            diff = x[:, k] - xe[:, k]
            sum_sq = diff * diff + sum_sq
        x = np.where(x >= 1, 0.9999999, x)
        dist = np.sqrt(sum_sq)
        le_sum = recip * np.log(dist / d0) + le_sum
        xe = ((xe - x) * d0) / dist[:, None] + x
    return le_sum / steps, x


def main():
    args = sys.argv[1:]
    steps = None
    if "--steps" in args:
        at = args.index("--steps")
        steps = int(args[at + 1])
        del args[at:at + 2]
    if len(args) != 3:
        sys.exit(__doc__)
    n, total_time, dt, r, a = read_row_style(args[0])
    seeds = range(int(args[1]), int(args[2]) + 1)
    if steps is None:
        steps = steps_for(total_time, dt)
    with np.errstate(all="ignore"):
        le, x = run(populations(seeds, n), r, a, dt, steps)
    for seed, le_i, x_i in zip(seeds, le, x):
        print(",".join([str(seed)] + ["%.17g" % v for v in [le_i, *x_i]]))


if __name__ == "__main__":
    main()
