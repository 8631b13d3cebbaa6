"""The generalised Lotka-Volterra competition model, its runs and its sweeps.

The species k = 0 .. N-1 grow as

    dx(k)/dt = r(k) x(k) (1 - sum_j a(k, j) x(j)),

integrated with explicit Euler steps of dt, while a twin trajectory kept
1e-12 away estimates the largest Lyapunov exponent.  This package runs the
same compiled code as the command-line programs: a run is the run
``lv-run --json`` makes of the file holding the model, and a sweep's rows
are the rows of ``lv-sweep``'s CSV, to the last bit.

Examples
--------
>>> import lotkavolterra as lv
>>> m = lv.load("examples/chaotic-4.p")
>>> res = lv.run(m)
>>> round(res.le, 6)
0.015109
>>> df = lv.sweep(m, vary={"r(1)": (0.5, 1.0, 11)}, time=100)
>>> list(df.columns[:4])
['point', 'r(1)', 'seed', 'status']
"""

import numpy as np
import pandas as pd

from . import _core
from ._core import Error, Model

__all__ = ["Error", "Model", "RunResult", "load", "run", "sweep", "usable_processors"]

# Shown and pickled under the package's name.
Model.__module__ = __name__


def load(path, style=None):
    """Read a parameter file into a Model, as lv-run reads FILE.

    Parameters
    ----------
    path : str or os.PathLike
        The parameter file; ``"-"`` reads standard input.
    style : {None, "dat", "p"}, optional
        The reader: ``"dat"`` for the column style ("Kestry Style"), ``"p"``
        for the row style ("QV Style").  By default the name decides, as in
        lv-run: ``"dat"`` when it ends in ".dat" (any case), else ``"p"``.

    Returns
    -------
    Model
        The model as the file gives it.  A column-style file sets the run
        time to 800 and the time step to 0.01.

    Raises
    ------
    Error
        The file cannot be read or holds what the reader refuses; ``kind``
        says what ("File not found", "Type mismatch", "Overflow", ...) and
        the message names the file, the line and the value, as lv-run's does.
    TypeError, ValueError
        `path` is not a file name, or `style` is neither "dat" nor "p".
    """
    return _core.load(path, style)


class RunResult:
    """What a run comes back with (see `run`).

    Attributes
    ----------
    le : float
        The mean Lyapunov exponent over every step, as ``lv-run --json``
        prints it ("LE").
    x : numpy.ndarray
        The populations after the last step, shape (N,).
    steps : int
        The steps made.
    t : float
        The model time covered: the running sum of dt over the steps.
    plot_interval : int
        The steps between the chart's columns, less one ("PlotInterval").
    history : pandas.DataFrame or None
        With ``history=True``, the rows ``lv-run --history`` writes: step,
        t, LE (the exponent so far) and x0 .. x(N-1), a row at every chart
        column and one for the last step, whose LE is `le`.
    clamps : int
        How many times a population was set back to 0.9999999 ("clamps").
    spectrum : numpy.ndarray or None
        With ``spectrum=True``, the Lyapunov exponents of the Euler map in
        descending order, per unit of model time ("spectrum"); -inf for a
        direction a clamp took away.
    dimension : float or None
        With ``spectrum=True``, the Kaplan-Yorke dimension ("dimension").
    equilibrium : dict or None
        With ``equilibrium=True``, the interior fixed point: ``x``,
        ``feasible``, ``eigenvalues`` (complex, by real part descending),
        ``stable``, ``kind`` ("stable focus", "saddle", ...) and ``singular``
        (when the matrix is, the others say nothing).
    maxima : pandas.DataFrame or None
        With ``maxima=K``, the local maxima of x(K) after the discard: their
        model times ``t`` and ``value`` (at most 10,000).
    """

    __slots__ = ("le", "x", "steps", "t", "plot_interval", "history", "clamps", "spectrum",
                 "dimension", "equilibrium", "maxima")

    def __init__(self, le, x, steps, t, plot_interval, history=None, clamps=0, spectrum=None,
                 dimension=None, equilibrium=None, maxima=None):
        self.le = le
        self.x = x
        self.steps = steps
        self.t = t
        self.plot_interval = plot_interval
        self.history = history
        self.clamps = clamps
        self.spectrum = spectrum
        self.dimension = dimension
        self.equilibrium = equilibrium
        self.maxima = maxima

    def __repr__(self):
        rows = "None" if self.history is None else f"<{len(self.history)} rows>"
        extra = "".join(f", {name}={getattr(self, name)!r}"
                        for name in ("spectrum", "dimension", "equilibrium")
                        if getattr(self, name) is not None)
        return (f"RunResult(le={self.le!r}, steps={self.steps!r}, t={self.t!r}, "
                f"x={self.x!r}, plot_interval={self.plot_interval!r}, "
                f"history={rows}, clamps={self.clamps!r}{extra})")


def _history_frame(arrays):
    steps, t, le, x = arrays
    columns = {"step": steps, "t": t, "LE": le}
    for i in range(x.shape[1]):
        columns[f"x{i}"] = x[:, i]
    return pd.DataFrame(columns)


def run(model, *, time=None, steps=None, continuous=False, random_seed=None,
        window_time=None, history=False, history_every=1, spectrum=False, method="twin",
        discard=None, equilibrium=False, maxima=None):
    """Run the model once, as lv-run runs the file that holds it.

    The steps are lv-run's, in its order: the run time from `time` or
    `continuous`, the steps between the chart's columns from the window time
    and the chart's 700-pixel width, the check that the run can end (unless
    `steps` limits it), the random initial populations of `random_seed`, and
    the run, in which every chart column's rows are checked as the 700 x 250
    chart would draw them.  The model itself is not changed.

    The GIL is released while the run works, so that runs in several threads
    go on at once (each with the bits it has alone).  Ctrl-C stops a long run
    within a fraction of a second and raises KeyboardInterrupt.

    Parameters
    ----------
    model : Model or str or os.PathLike
        The model, or a parameter file, read as `load` reads it once the
        other arguments have been checked.
    time : float, optional
        The run time in model time ("Set To:", ``--time``); by default the
        model's `total_time`.  0 or less makes the run continuous.
    steps : int, optional
        Stop after this many steps (``--steps``); needed when the run would
        not end by itself.
    continuous : bool, default False
        Run time -1 (``--continuous``); needs `steps`, and excludes `time`.
    random_seed : int, optional
        Random initial populations, drawn as ``lv-run --random --seed S``
        draws them (0 <= S < 2**32).  By default the model's `x`.
    window_time : int, optional
        The chart's window time, -32768 to 32767 (``--window-time``, default
        210): with dt and the chart's width it sets the steps per column.
    history : bool, default False
        Keep the history of the run (``--history``): see
        `RunResult.history`.
    history_every : int, default 1
        A history row at every n-th chart column only (``--history-every``).
    spectrum : bool, default False
        The whole Lyapunov spectrum and the Kaplan-Yorke dimension
        (``--spectrum``): tangent vectors carried with the Euler map's
        Jacobian, made orthonormal again by QR every 10 steps.
    method : {"twin", "tangent"}, default "twin"
        The largest exponent `le` from the twin trajectory 1e-12 away, or
        from one tangent vector of the linearised map (``--method``).
    discard : float, optional
        The first `discard` units of model time are left out of every
        exponent's mean (``--discard``); the populations run through them.
    equilibrium : bool, default False
        The interior fixed point, its eigenvalues and kind
        (``--equilibrium``).
    maxima : int, optional
        The local maxima of x(K) after the discard, for K = `maxima`.

    Returns
    -------
    RunResult
        ``le``, ``x``, ``steps``, ``t``, ``plot_interval``, ``history``,
        ``clamps``, and what the analyses asked for gave.

    Raises
    ------
    Error
        The run failed (``kind`` "Overflow", "Division by zero", "Invalid
        procedure call or argument", ...; ``step`` the step it failed in, 0
        when it never began), or could never end.  The message is lv-run's.
        With ``history=True`` the error's ``history`` holds the rows up to
        the failure.
    TypeError, ValueError
        An argument has the wrong type or a value it cannot have; nothing
        has run.

    Examples
    --------
    The two species of examples/stable-2.dat settle at 5/9 and 8/9; the
    running sum of dt = 0.01 reaches 50 only after step 5001:

    >>> res = run(load("examples/stable-2.dat"), time=50)
    >>> res.steps, res.x.round(4)
    (5001, array([0.5556, 0.8889]))
    """
    try:
        le, n_steps, t, x, interval, rows, found = _core.run(
            model, time, steps, continuous, random_seed, window_time, history,
            history_every, spectrum, method, discard, equilibrium, maxima)
    except Error as error:
        if error.history is not None:
            error.history = _history_frame(error.history)
        raise
    if rows is not None:
        rows = _history_frame(rows)
    peaks = found.get("maxima")
    if peaks is not None:
        peaks = pd.DataFrame({"t": peaks[0], "value": peaks[1]})
    return RunResult(le, x, n_steps, t, interval, rows, found["clamps"], found.get("spectrum"),
                     found.get("dimension"), found.get("equilibrium"), peaks)


def sweep(model, vary=None, seeds=None, *, threads=None, time=None, steps=None,
          continuous=False, window_time=None, shard=None, spectrum=False, method="twin",
          discard=None, maxima=None):
    """Run the model at many points, as lv-sweep runs them.

    Each point is exactly the run `run` (and ``lv-run --json``) makes of a
    model holding the point's values, or of its random initial populations;
    the points run side by side in the vector lanes, on `threads` threads.
    The GIL is released while they run; Ctrl-C stops the sweep within a
    fraction of a second and raises KeyboardInterrupt.

    Parameters
    ----------
    model : Model or str or os.PathLike
        The model, or a parameter file, read as `load` reads it once the
        other arguments have been checked.
    vary : dict, optional
        ``{NAME: (FROM, TO, COUNT)}``, one entry or two for a grid (the
        first varying slowest), as lv-sweep's ``--vary NAME=FROM:TO:COUNT``:
        COUNT values FROM + (TO - FROM) * i / (COUNT - 1).  NAME is
        ``"r(k)"``, ``"x(k)"``, ``"a(i,j)"``, ``"dt"`` or ``"TotalTime"``,
        rows numbered from 0.
    seeds : tuple of int or range, optional
        ``(FROM, TO)``, both included, as ``--seeds FROM:TO``, or a range of
        step 1: one run per seed from the random initial populations of
        ``lv-run --random --seed S`` (with `vary`, the seeds vary fastest).
    threads : int, optional
        Worker threads (1 to 4096, at most four to a processor); by default
        every processor this process may use, as lv-sweep.
    time, steps, continuous, window_time
        As for `run` (``--time``, ``--steps``, ``--continuous``,
        ``--window-time``).
    shard : tuple of int, optional
        ``(K, N)``: only the points whose index is K modulo N
        (``--shard K/N``).
    spectrum, method, discard
        As for `run` (``--spectrum``, ``--method``, ``--discard``).
    maxima : int, optional
        The local maxima of x(K) after the discard in every run, for orbit
        diagrams (``--maxima K``): ``attrs["maxima"]`` holds them in long
        form, as ``--maxima-csv`` writes them (point, each NAME, seed,
        value).

    Returns
    -------
    pandas.DataFrame
        One row a point, in point order, with the columns of lv-sweep's CSV:
        ``point``, each NAME, ``seed``, ``status`` ("ok" or the error kind),
        ``LE``, with `spectrum` ``L0`` .. ``L(N-1)`` and ``dimension``,
        ``steps``, ``t``, ``clamps``, ``x0`` .. ``x(N-1)``, ``message`` and
        ``sweep`` (the sweep's identity, as lv-sweep writes it).  A field the
        CSV leaves empty is missing here: NaN in the float columns, <NA> in
        ``seed`` and ``steps`` (nullable integers), "" in ``message``.  A
        point that failed keeps its row with its status, message and the
        step it failed in.  ``attrs["lanes"]`` names the build of the vector
        lanes the points ran in ("single": one point after the other).

    Raises
    ------
    Error
        The sweep cannot run: every point would fail alike (a run that
        could never end, a plot interval out of range), as lv-sweep refuses.
    TypeError, ValueError
        An argument has the wrong type or a value it cannot have (an unknown
        NAME, a row the model does not have, too many points, ...); nothing
        has run.

    Examples
    --------
    >>> df = sweep(load("examples/chaotic-4.p"), seeds=(1, 4), time=10)
    >>> list(df["seed"])
    [1, 2, 3, 4]
    """
    raw = _core.sweep(model, vary, seeds, threads, time, steps, continuous,
                      window_time, shard, spectrum, method, discard, maxima)
    count = len(raw["point"])
    columns = {"point": raw["point"]}
    for name, values in raw["axes"]:
        columns[name] = values
    seed = raw["seed"]
    columns["seed"] = pd.arrays.IntegerArray(
        np.zeros(count, np.int64) if seed is None else seed,
        np.full(count, seed is None))
    columns["status"] = raw["status"]
    columns["LE"] = raw["LE"]
    if "spectrum" in raw:
        exponents = raw["spectrum"]
        for i in range(exponents.shape[1]):
            columns[f"L{i}"] = exponents[:, i]
        columns["dimension"] = raw["dimension"]
    columns["steps"] = pd.arrays.IntegerArray(raw["steps"], raw["steps_missing"])
    columns["t"] = raw["t"]
    clamps = raw["clamps"]
    columns["clamps"] = pd.arrays.IntegerArray(np.nan_to_num(clamps).astype(np.int64),
                                               np.isnan(clamps))
    x = raw["x"]
    for i in range(x.shape[1]):
        columns[f"x{i}"] = x[:, i]
    columns["message"] = raw["message"]
    columns["sweep"] = [raw["sweep"]] * count
    frame = pd.DataFrame(columns)
    frame.attrs["lanes"] = raw["lanes"]
    if "maxima" in raw:
        found = raw["maxima"]
        peaks = {"point": found["point"]}
        for name, values in found["axes"]:
            peaks[name] = values
        size = len(found["value"])
        peaks["seed"] = pd.arrays.IntegerArray(
            np.zeros(size, np.int64) if found["seed"] is None else found["seed"],
            np.full(size, found["seed"] is None))
        peaks["value"] = found["value"]
        frame.attrs["maxima"] = pd.DataFrame(peaks)
    return frame


def usable_processors():
    """Return the number of processors this process may run on.

    Returns
    -------
    int
        The processors of the affinity mask, at least 1: what `sweep` uses
        by default.
    """
    return _core.usable_processors()
