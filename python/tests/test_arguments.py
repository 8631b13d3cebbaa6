"""Bad arguments: TypeError or ValueError naming the argument, before any file is read."""

import math

import numpy as np
import pytest

import lotkavolterra as lv
from conftest import EXAMPLES

# Not there: an argument that is checked only after the file is read would fail as
# lv.Error "File not found" instead.
NOWHERE = "/nonexistent/model.p"

BAD_RUNS = [
    ({"time": "5"}, TypeError, "time must be a real number, not str"),
    ({"time": True}, TypeError, "time must be a real number, not bool"),
    ({"time": math.nan}, ValueError, "time must be finite, not nan"),
    ({"steps": 0}, ValueError, "steps must be a whole number from 1 to 9223372036854775807"),
    ({"steps": 10.0}, TypeError, "steps must be a whole number .*, not float"),
    ({"continuous": 1}, TypeError, "continuous must be True or False, not int"),
    ({"continuous": True}, ValueError, "continuous=True needs steps"),
    ({"continuous": True, "time": 5, "steps": 9}, ValueError, "exclude each other"),
    ({"random_seed": -1}, ValueError, "random_seed must be a whole number from 0 to 4294967295"),
    ({"random_seed": 1.0}, TypeError, "random_seed"),
    ({"window_time": 32768}, ValueError,
     "window_time must be a whole number from -32768 to 32767"),
    ({"window_time": 210.0}, TypeError, "window_time"),
    ({"history": "yes"}, TypeError, "history must be True or False, not str"),
    ({"history_every": 0}, ValueError, "history_every must be a whole number from 1"),
    ({"spectrum": 1}, TypeError, "spectrum must be True or False, not int"),
    ({"method": "both"}, ValueError, 'method must be "twin" or "tangent"'),
    ({"method": None}, TypeError, 'method must be "twin" or "tangent"'),
    ({"discard": -1}, ValueError, "discard is a model time from 0 up"),
    ({"discard": math.inf}, ValueError, "discard must be finite"),
    ({"maxima": 51}, ValueError, "maxima must be a whole number from 0 to 50"),
]


@pytest.mark.parametrize("kwargs, error, message", BAD_RUNS)
def test_bad_run_arguments(chaotic, kwargs, error, message):
    for model in (NOWHERE, chaotic):
        with pytest.raises(error, match=message):
            lv.run(model, **kwargs)


BAD_SWEEPS = [
    ({"vary": [("r(1)", (0, 1, 2))]}, TypeError, "vary must be a dict"),
    ({"vary": {"q(1)": (0, 1, 2)}}, ValueError,
     'vary "q\\(1\\)": expected r\\(k\\), x\\(k\\), a\\(i,j\\), dt or TotalTime'),
    ({"vary": {"r(51)": (0, 1, 2)}}, ValueError, "an index is at most 50"),
    ({"vary": {3: (0, 1, 2)}}, TypeError, "vary's names are str"),
    ({"vary": {"r(1)": (0, 1)}}, ValueError, "must be \\(from, to, count\\)"),
    ({"vary": {"r(1)": (0, math.nan, 3)}}, ValueError,
     "to in vary\\['r\\(1\\)'\\] must be finite, not nan"),
    ({"vary": {"r(1)": (0, 1, 0)}}, ValueError,
     "count in vary\\['r\\(1\\)'\\] must be a whole number from 1"),
    ({"vary": {"r(1)": (0, 1, 2.5)}}, TypeError, "count in vary"),
    ({"vary": {"r(1)": (0, 1, 10 ** 10)}}, ValueError, "COUNT is a whole number from 1 to"),
    ({"vary": {"r(1)": (-1e308, 1e308, 3)}}, ValueError, "TO - FROM is out of range"),
    ({"vary": {"r(1)": (0, 1, 2), "r(01)": (0, 1, 2)}}, ValueError, "vary the same value"),
    ({"vary": {"r(1)": (0, 1, 2), "r(2)": (0, 1, 2), "r(3)": (0, 1, 2)}}, ValueError,
     "vary holds one parameter, or two for a grid, not 3"),
    ({"vary": {"TotalTime": (1, 2, 2)}, "time": 5}, ValueError,
     "vary TotalTime sets the run time"),
    ({"vary": {"x(1)": (0, 1, 2)}, "seeds": (1, 2)}, ValueError,
     "seeds draws every initial population"),
    ({"seeds": (5, 1)}, ValueError, "needs from <= to"),
    ({"seeds": (-1, 3)}, ValueError, "seeds' from must be a whole number from 0 to 4294967295"),
    ({"seeds": range(1, 9, 2)}, ValueError, "step 1"),
    ({"seeds": range(4, 4)}, ValueError, "hold a seed"),
    ({"seeds": "1:5"}, TypeError, "seeds must be \\(from, to\\) or a range, not str"),
    ({"threads": 0}, ValueError, "threads must be a whole number from 1 to 4096"),
    ({"shard": (3, 3)}, ValueError, "shard's k must be a whole number from 0 to 2"),
    ({"shard": (0, 0)}, ValueError, "shard's n must be a whole number from 1"),
]


@pytest.mark.parametrize("kwargs, error, message", BAD_SWEEPS)
def test_bad_sweep_arguments(chaotic, kwargs, error, message):
    for model in (NOWHERE, chaotic):
        with pytest.raises(error, match=message):
            lv.sweep(model, **kwargs)


def test_a_discard_that_leaves_no_step_and_maxima_of_a_row_the_model_lacks(chaotic):
    # As lv-run refuses it once the file is read: an error of the run, not of the argument.
    with pytest.raises(lv.Error, match="--discard 900 leaves no step of a run of 800"):
        lv.run(chaotic, discard=900)
    with pytest.raises(ValueError, match="maxima 4: the model's rows are 0 to 3"):
        lv.sweep(chaotic, seeds=(1, 2), maxima=4)


def test_a_varied_row_the_model_lacks(chaotic):
    with pytest.raises(ValueError, match="vary a\\(0,4\\): the file's rows are 0 to 3"):
        lv.sweep(chaotic, vary={"a(0,4)": (0, 1, 2)})


@pytest.mark.parametrize("model", [42, None, b"chaotic-4.p"])
def test_a_model_is_a_model_or_a_file_name(model):
    for call in (lv.run, lv.sweep):
        with pytest.raises(TypeError, match="model must be a lotkavolterra.Model or a parameter"):
            call(model)


GOOD = dict(r=[1.0, 0.5], a=[[1.0, 0.5], [0.5, 1.0]], x=[0.2, 0.3])

BAD_MODELS = [
    ({"r": []}, ValueError, "a model has 1 to 51 species \\(the length of r\\), not 0"),
    ({"r": np.ones(52), "a": np.eye(52), "x": np.ones(52)}, ValueError, "not 52"),
    ({"r": [[1.0, 0.5]]}, ValueError, "r must be a sequence of real numbers \\(1 dimension\\)"),
    ({"a": np.eye(3)}, ValueError, "a must be 2 x 2"),
    ({"a": [[1.0, 0.5], [0.5]]}, ValueError, "a must be a square table of real numbers"),
    ({"x": [0.2]}, ValueError, "x must have one value per species \\(2\\), not 1"),
    ({"x": [0.2, math.nan]}, ValueError, "x must hold finite numbers: element 1 is nan"),
    ({"r": ["1", "2"]}, TypeError, "r must hold real numbers, not <U1 values"),
    ({"r": [True, False]}, TypeError, "r must hold real numbers, not bool"),
    ({"x": [0.2j, 0.3]}, TypeError, "x must hold real numbers, not complex128"),
    ({"total_time": "800"}, TypeError, "total_time must be a real number, not str"),
]


@pytest.mark.parametrize("changes, error, message", BAD_MODELS)
def test_bad_model_arrays(changes, error, message):
    with pytest.raises(error, match=message):
        lv.Model(**dict(GOOD, **changes))


def test_assignments_are_checked_as_the_constructor_checks(chaotic):
    for name, value, error in [("x", [0.1, 0.2], ValueError), ("r", np.ones(5), ValueError),
                               ("a", np.eye(3), ValueError), ("dt", math.inf, ValueError),
                               ("total_time", None, TypeError), ("x", "abcd", TypeError)]:
        with pytest.raises(error, match=name):
            setattr(chaotic, name, value)
    assert chaotic.x.tolist() == [0.3, 0.4, 0.3, 0.5]
    with pytest.raises(AttributeError):
        chaotic.n = 3


def test_arrays_are_keywords():
    with pytest.raises(TypeError):
        lv.Model([1.0], [[1.0]], [0.5])


@pytest.mark.parametrize("path, style, error, message", [
    (3, None, TypeError, "path must be a file name"),
    (EXAMPLES / "chaotic-4.p", "csv", ValueError, 'style is "dat" or "p", not \'csv\''),
    (EXAMPLES / "chaotic-4.p", 1, ValueError, "style is"),
])
def test_bad_load_arguments(path, style, error, message):
    with pytest.raises(error, match=message):
        lv.load(path, style)
