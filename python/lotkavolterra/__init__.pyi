"""Type hints of lotkavolterra (see the package's docstrings)."""

import os
from typing import Any, Literal

import numpy as np
import numpy.typing as npt
import pandas as pd

_Path = str | os.PathLike[str]
_Real = float | int | np.floating | np.integer
_Vector = npt.ArrayLike
_Range = tuple[_Real, _Real, int] | list[_Real]

__all__ = ["Error", "Model", "RunResult", "load", "run", "sweep", "usable_processors"]

class Error(Exception):
    kind: str | None
    step: int
    history: pd.DataFrame | None

class Model:
    def __init__(
        self,
        *,
        r: _Vector,
        a: _Vector,
        x: _Vector,
        dt: _Real = 0.01,
        total_time: _Real = 800.0,
    ) -> None: ...
    @property
    def n(self) -> int: ...
    @property
    def r(self) -> npt.NDArray[np.float64]: ...
    @r.setter
    def r(self, value: _Vector) -> None: ...
    @property
    def a(self) -> npt.NDArray[np.float64]: ...
    @a.setter
    def a(self, value: _Vector) -> None: ...
    @property
    def x(self) -> npt.NDArray[np.float64]: ...
    @x.setter
    def x(self, value: _Vector) -> None: ...
    @property
    def dt(self) -> float: ...
    @dt.setter
    def dt(self, value: _Real) -> None: ...
    @property
    def total_time(self) -> float: ...
    @total_time.setter
    def total_time(self, value: _Real) -> None: ...
    @property
    def style(self) -> Literal["dat", "p"]: ...
    @property
    def source(self) -> str | None: ...
    def __copy__(self) -> Model: ...
    def __deepcopy__(self, memo: dict[int, object]) -> Model: ...

class RunResult:
    le: float
    x: npt.NDArray[np.float64]
    steps: int
    t: float
    plot_interval: int
    history: pd.DataFrame | None
    clamps: int
    spectrum: npt.NDArray[np.float64] | None
    dimension: float | None
    equilibrium: dict[str, Any] | None
    maxima: pd.DataFrame | None
    def __init__(
        self,
        le: float,
        x: npt.NDArray[np.float64],
        steps: int,
        t: float,
        plot_interval: int,
        history: pd.DataFrame | None = None,
        clamps: int = 0,
        spectrum: npt.NDArray[np.float64] | None = None,
        dimension: float | None = None,
        equilibrium: dict[str, Any] | None = None,
        maxima: pd.DataFrame | None = None,
    ) -> None: ...

def load(path: _Path, style: Literal["dat", "p"] | None = None) -> Model: ...
def run(
    model: Model | _Path,
    *,
    time: _Real | None = None,
    steps: int | None = None,
    continuous: bool = False,
    random_seed: int | None = None,
    window_time: int | None = None,
    history: bool = False,
    history_every: int = 1,
    spectrum: bool = False,
    method: Literal["twin", "tangent"] = "twin",
    discard: _Real | None = None,
    equilibrium: bool = False,
    maxima: int | None = None,
) -> RunResult: ...
def sweep(
    model: Model | _Path,
    vary: dict[str, _Range] | None = None,
    seeds: tuple[int, int] | list[int] | range | None = None,
    *,
    threads: int | None = None,
    time: _Real | None = None,
    steps: int | None = None,
    continuous: bool = False,
    window_time: int | None = None,
    shard: tuple[int, int] | None = None,
    spectrum: bool = False,
    method: Literal["twin", "tangent"] = "twin",
    discard: _Real | None = None,
    maxima: int | None = None,
) -> pd.DataFrame: ...
def usable_processors() -> int: ...
