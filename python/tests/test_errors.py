"""Failures: lv.Error with lv-run's kind, step and message, and lv-sweep's refusals."""

import pickle
import re

import pytest

import lotkavolterra as lv
from conftest import (EXAMPLES, LV_SWEEP, assert_same_as_lv_run, lv_run_failure, program,
                      write_p_file)

CHAOTIC = dict(r=[1, 0.72, 1.53, 1.27], x=[0.3, 0.4, 0.3, 0.5],
               a=[[1, 1.09, 1.52, 0], [0, 1, 0.44, 1.36], [2.33, 0, 1, 0.47],
                  [1.21, 0.51, 0.35, 1]])


def chaotic_with(**changes):
    values = dict(CHAOTIC, dt=0.01, total_time=20)
    values.update(changes)
    return values


FAILING_RUNS = [
    # A population that leaves the range of a double.
    ("overflow", chaotic_with(x=[0.3, 0.4, -300, 0.5]), {}, []),
    # A population far below 0, whose chart row leaves 16 bits at the first column.
    ("chart-row", chaotic_with(r=[1, 0.72, 1e-9, 1.27], x=[0.3, 0.4, -200, 0.5]), {}, []),
    # No run time and no step limit.
    ("continuous", chaotic_with(), {"time": 0}, ["--time", "0"]),
    ("never-ends", chaotic_with(dt=-0.01), {}, []),
    ("too-small-a-step", chaotic_with(dt=1e-300, total_time=1), {"window_time": 0},
     ["--window-time", "0"]),
    # The chart's steps per column out of 16 bits, and a step of 0.
    ("plot-interval", chaotic_with(dt=1e-9), {}, []),
    ("zero-step", chaotic_with(dt=0), {"steps": 10}, ["--steps", "10"]),
    # One species: the twin's offset is on row 1, so the distance is 0.
    ("one-species", dict(r=[1], a=[[1]], x=[0.5], dt=0.01, total_time=5), {}, []),
]


class TestRunFailuresAsLvRun:
    @pytest.mark.parametrize("name, values, kwargs, options", FAILING_RUNS,
                             ids=[case[0] for case in FAILING_RUNS])
    def test_kind_and_message(self, tmp_path, name, values, kwargs, options):
        path = tmp_path / f"{name}.p"
        write_p_file(path, values["r"], values["a"], values["x"], values["dt"],
                     values["total_time"])
        message = lv_run_failure(path, *options)
        with pytest.raises(lv.Error) as caught:
            lv.run(lv.Model(**values), **kwargs)
        error = caught.value
        assert str(error) == message
        assert message.startswith(error.kind + ": ")
        assert error.kind in ("Overflow", "Division by zero",
                              "Invalid procedure call or argument")
        # The step a run failed in, as its message gives it; 0 when none did.
        step = re.search(r"\bstep (\d+)[:,]", message)
        assert error.step == (int(step.group(1)) if step else 0)

    def test_step_is_the_one_lv_sweep_reports(self, tmp_path):
        path = tmp_path / "overflow.p"
        values = chaotic_with(x=[0.3, 0.4, -300, 0.5])
        write_p_file(path, values["r"], values["a"], values["x"], 0.01, 20)
        csv = program(LV_SWEEP, "--quiet", path)[1].split("\r\n")[1].split(",")
        with pytest.raises(lv.Error) as caught:
            lv.run(path)
        assert caught.value.step == int(csv[4]) > 0

    def test_every_failure_is_an_exception_that_pickles(self, tmp_path):
        with pytest.raises(lv.Error) as caught:
            lv.run(lv.Model(**chaotic_with(x=[0.3, 0.4, -300, 0.5])))
        assert isinstance(caught.value, Exception)
        again = pickle.loads(pickle.dumps(caught.value))
        assert (str(again), again.kind, again.step) == (
            str(caught.value), caught.value.kind, caught.value.step)


class TestFileFailuresAsLvRun:
    @pytest.mark.parametrize("name, text, kind", [
        ("missing.p", None, "File not found"),
        ("letters.p", "x\n2 20 0.01\n1 abc \n", "Type mismatch"),
        ("short.p", "x\n2 20 0.01\n1 1 \n", "Input past end of file"),
        ("too-many.p", "x\n60 20 0.01\n" + "1 " * 60 + "\n", "Subscript out of range"),
        ("huge.dat", "x\n\"2\"\n\"1e999\"\n", "Overflow"),
    ])
    def test_kind_and_message(self, tmp_path, name, text, kind):
        path = tmp_path / name
        if text is not None:
            path.write_text(text)
        message = lv_run_failure(path)
        for attempt in (lambda: lv.load(path), lambda: lv.run(path)):
            with pytest.raises(lv.Error) as caught:
                attempt()
            assert (caught.value.kind, str(caught.value), caught.value.step) == (kind, message, 0)

    def test_a_directory_is_no_parameter_file(self, tmp_path):
        message = lv_run_failure(tmp_path)
        with pytest.raises(lv.Error) as caught:
            lv.load(tmp_path)
        assert str(caught.value) == message


class TestSweepRefusals:
    @pytest.mark.parametrize("values, kwargs, options", [
        (chaotic_with(), {"vary": {"r(1)": (1, 2, 3)}, "time": 0},
         ["--vary", "r(1)=1:2:3", "--time", "0"]),
        (chaotic_with(dt=1e-9), {"seeds": (1, 3)}, ["--seeds", "1:3"]),
    ])
    def test_every_point_failing_alike_is_refused_as_lv_sweep_refuses(self, tmp_path, values,
                                                                      kwargs, options):
        path = tmp_path / "model.p"
        write_p_file(path, values["r"], values["a"], values["x"], values["dt"],
                     values["total_time"])
        status, _, err = program(LV_SWEEP, "--quiet", *options, path, check=False)
        assert status == 1 and err.startswith("lv-sweep: ")
        with pytest.raises(lv.Error) as caught:
            lv.sweep(lv.Model(**values), **kwargs)
        assert str(caught.value) == err[len("lv-sweep: "):-1]
        assert caught.value.step == 0


def test_a_run_that_works_after_one_that_failed(chaotic):
    with pytest.raises(lv.Error):
        lv.run(chaotic, time=0)
    assert_same_as_lv_run(lambda: lv.run(chaotic, time=5), EXAMPLES / "chaotic-4.p",
                          "--time", "5")
