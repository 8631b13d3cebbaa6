#!/usr/bin/python3
"""The Lyapunov spectrum of the model's Euler map in plain numpy: the reference the C++
spectrum is checked against, and its speed peer.

    exponents_numpy.py reference FILE     the spectrum of the run FILE describes
    exponents_numpy.py time [N ...]       microseconds a step at N species (4 10 51)

FILE holds "n dt steps interval discard vectors" on its first line, then the rates, the
start populations and the n rows of the matrix, one line each. The run's trajectory is the
model's to the last bit (the sums over j in index order, no fused multiply-add, the clamp);
the Jacobian J = I + dt (diag(r (1 - S)) - diag(r x) A), with a clamped row set to zero, is
formed as a matrix, the tangent vectors are multiplied by it (numpy's matmul), and every
`interval` steps, and at the end, numpy's QR makes them orthonormal again and ln|R(i, i)|
adds to the sums. Steps whose end time is at most `discard` are not counted; the first step
after it re-orthonormalises the vectors and starts the sums afresh. Prints the exponents in
descending order, then the mean of ln|det J| per unit time (numpy's slogdet), each on a line
of its own in full precision.

The timed mode runs the same spectrum as plain numpy would be written for speed (the sums as
one matrix product), on a random competitive model of N species, with the whole spectrum
re-orthonormalised every 10 steps, and prints "N us_per_step" lines.
"""

import sys
import time

import numpy as np


def read_run(path):
    with open(path) as f:
        lines = [line.split() for line in f if line.strip()]
    n, dt, steps, interval, discard, vectors = lines[0]
    n = int(n)
    r = np.array([float(v) for v in lines[1]])
    x = np.array([float(v) for v in lines[2]])
    a = np.array([[float(v) for v in lines[3 + k]] for k in range(n)])
    return r, a, x, float(dt), int(steps), int(interval), float(discard), int(vectors)


def ordered_sums(a, x):
    """S(k) = a(k, j) * x(j) + S(k) for j = 0, 1, ..., as the run takes them."""
    s = np.zeros(len(x))
    for j in range(len(x)):
        s = a[:, j] * x[j] + s
    return s


def spectrum(r, a, x, dt, steps, interval, discard, vectors, sums=ordered_sums):
    n = len(r)
    identity = np.eye(n)
    q = identity[:, :vectors].copy()
    log_r = np.zeros(vectors)
    log_det = 0.0
    counted_time = 0.0
    counting = False
    pending = 0
    t = 0.0
    for _ in range(steps):
        s = sums(a, x)
        updated = dt * ((r * x) * (1 - s)) + x
        clamped = updated >= 1
        jacobian = identity + dt * (np.diag(r * (1 - s)) - (r * x)[:, None] * a)
        jacobian[clamped, :] = 0
        x = np.where(clamped, 0.9999999, updated)
        t = dt + t
        if not counting and t > discard:
            q, _ = np.linalg.qr(q)
            log_r[:] = 0
            pending = 0
            counting = True
        q = jacobian @ q
        if counting:
            log_det += np.linalg.slogdet(jacobian)[1]
            counted_time += dt
        pending += 1
        if pending == interval:
            q, rr = np.linalg.qr(q)
            if counting:
                log_r += np.log(np.abs(np.diag(rr)))
            pending = 0
    if pending > 0 and counting:
        _, rr = np.linalg.qr(q)
        log_r += np.log(np.abs(np.diag(rr)))
    return np.sort(log_r / counted_time)[::-1], log_det / counted_time


def random_model(n, seed=12345):
    rng = np.random.default_rng(seed)
    a = np.where(np.eye(n) == 1, 1.0, rng.random((n, n)) * 2.0 / n)
    return 0.5 + rng.random(n), a, 0.05 + 0.4 * rng.random(n)


def time_per_step(n, steps):
    r, a, x = random_model(n)
    start = time.perf_counter()
    spectrum(r, a, x, 0.01, steps, 10, 0.0, n, sums=lambda a, x: a @ x)
    return (time.perf_counter() - start) / steps


def main():
    args = sys.argv[1:]
    if len(args) == 2 and args[0] == "reference":
        with np.errstate(divide="ignore"):
            exponents, log_det = spectrum(*read_run(args[1]))
        for value in [*exponents, log_det]:
            print(repr(float(value)))
    elif args and args[0] == "time":
        for n in [int(v) for v in args[1:]] or [4, 10, 51]:
            best = min(time_per_step(n, 2000 if n < 51 else 500) for _ in range(3))
            print(n, "%.2f" % (best * 1e6))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
