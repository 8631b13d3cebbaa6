"""Runs and sweeps from Python against lv-run and lv-sweep themselves, to the last bit."""

import csv
import shutil

import numpy as np
import pandas as pd
import pytest

import lotkavolterra as lv
from conftest import (EXAMPLES, LV_RUN, LV_SWEEP, assert_frame_matches_csv, assert_run_matches,
                      assert_same_as_lv_run, lv_run_json, lv_sweep_rows, program, same_bits,
                      write_p_file)

EXAMPLE_FILES = sorted(p.name for p in EXAMPLES.iterdir() if p.suffix in (".p", ".dat"))


class TestRunsAsLvRun:
    @pytest.mark.parametrize("name", EXAMPLE_FILES)
    def test_every_example_with_its_own_settings(self, name):
        path = EXAMPLES / name
        result = lv.run(lv.load(path))
        assert_run_matches(result, lv_run_json(path))

    @pytest.mark.parametrize("name, kwargs, options", [
        ("chaotic-4.p", {"time": 50}, ["--time", "50"]),
        ("chaotic-4.p", {"steps": 777}, ["--steps", "777"]),
        ("chaotic-4.p", {"continuous": True, "steps": 1234}, ["--continuous", "--steps", "1234"]),
        ("chaotic-4.p", {"time": -3, "steps": 500}, ["--time", "-3", "--steps", "500"]),
        ("chaotic-4.p", {"random_seed": 7}, ["--random", "--seed", "7"]),
        ("chaotic-4.p", {"window_time": 5, "time": 20}, ["--window-time", "5", "--time", "20"]),
        ("chaotic-4.p", {"window_time": -700, "time": 20},
         ["--window-time", "-700", "--time", "20"]),
        ("community-51.dat", {"steps": 3000, "random_seed": 11},
         ["--steps", "3000", "--random", "--seed", "11"]),
        # The analyses, as lv-run's options ask for them.
        ("chaotic-4.p", {"time": 300, "spectrum": True, "discard": 50},
         ["--time", "300", "--spectrum", "--discard", "50"]),
        ("chaotic-4.p", {"time": 300, "method": "tangent", "discard": 12.5},
         ["--time", "300", "--method", "tangent", "--discard", "12.5"]),
        ("stable-3.p", {"time": 30, "equilibrium": True, "spectrum": True},
         ["--time", "30", "--equilibrium", "--spectrum"]),
        ("community-51.dat", {"steps": 500, "spectrum": True, "equilibrium": True},
         ["--steps", "500", "--spectrum", "--equilibrium"]),
    ])
    def test_settings_as_lv_run_options(self, name, kwargs, options):
        path = EXAMPLES / name
        assert_run_matches(lv.run(lv.load(path), **kwargs), lv_run_json(path, *options))

    def test_a_file_name_is_read_as_lv_run_reads_it(self):
        path = EXAMPLES / "chaotic-4.dat"
        assert_run_matches(lv.run(str(path), time=40), lv_run_json(path, "--time", "40"))
        assert_run_matches(lv.run(path, time=40), lv_run_json(path, "--time", "40"))

    def test_style_overrides_the_name(self, tmp_path):
        renamed = tmp_path / "column-style.txt"
        shutil.copy(EXAMPLES / "chaotic-4.dat", renamed)
        model = lv.load(renamed, style="dat")
        assert model.style == "dat"
        assert_run_matches(lv.run(model), lv_run_json(renamed, "--style", "dat"))
        with pytest.raises(lv.Error):
            lv.load(renamed)  # as the row style, which it is not

    def test_the_model_is_left_as_it_was(self, chaotic):
        before = (chaotic.x, chaotic.r, chaotic.a, chaotic.dt, chaotic.total_time)
        lv.run(chaotic, random_seed=5, time=10)
        after = (chaotic.x, chaotic.r, chaotic.a, chaotic.dt, chaotic.total_time)
        for old, new in zip(before, after):
            assert np.array_equal(old, new)


class TestHistoryAsLvRun:
    @pytest.mark.parametrize("every", [1, 7])
    def test_rows_are_lv_runs_history(self, tmp_path, every):
        path = EXAMPLES / "may-leonard-3.p"
        csv_path = tmp_path / "history.csv"
        program(LV_RUN, "--time", "300", "--history", csv_path, "--history-every", every, path)
        with open(csv_path, newline="") as f:
            records = list(csv.reader(f))
        result = lv.run(path, time=300, history=True, history_every=every)
        frame = result.history
        assert list(frame.columns) == records[0]
        assert len(frame) == len(records) - 1
        assert frame["step"].dtype == np.int64
        for row, record in zip(frame.itertuples(index=False), records[1:]):
            assert row[0] == int(record[0])
            assert all(same_bits(v, float(f)) for v, f in zip(row[1:], record[1:]))
        last = frame.iloc[-1]
        assert last["step"] == result.steps
        assert same_bits(last["LE"], result.le)

    def test_a_history_leaves_the_run_as_it_is(self, chaotic):
        plain, followed = lv.run(chaotic), lv.run(chaotic, history=True)
        assert same_bits(plain.le, followed.le) and plain.steps == followed.steps
        assert np.array_equal(plain.x, followed.x)
        assert plain.history is None

    def test_a_failed_run_keeps_its_rows_up_to_the_failure(self, tmp_path):
        path = tmp_path / "blows-up.p"
        write_p_file(path, r=[0.5, 1.0], a=[[1.0, 0.0], [0.0, 1.0]], x=[-0.5, 0.5],
                     dt=0.01, total_time=100)
        csv_path = tmp_path / "history.csv"
        status, _, _ = program(LV_RUN, "--history", csv_path, path, check=False)
        assert status == 1
        with open(csv_path, newline="") as f:
            records = list(csv.reader(f))[1:]
        with pytest.raises(lv.Error) as caught:
            lv.run(path, history=True)
        frame = caught.value.history
        assert len(records) > 0 and len(frame) == len(records)
        for row, record in zip(frame.itertuples(index=False), records):
            assert row[0] == int(record[0])
            assert all(same_bits(v, float(f)) for v, f in zip(row[1:], record[1:]))


class TestModelFromArrays:
    @pytest.mark.parametrize("n, seed", [(1, 1), (2, 2), (6, 3), (51, 4)])
    def test_equals_the_file_that_holds_its_values(self, tmp_path, n, seed):
        rng = np.random.default_rng(seed)
        r = rng.uniform(0.5, 1.5, n)
        a = rng.uniform(0.0, 1.5 / n, (n, n))
        np.fill_diagonal(a, 1.0)
        x = rng.uniform(0.05, 0.95, n)
        dt, total_time = 0.01 + rng.uniform(0, 0.005), 20 + rng.uniform(0, 10)
        path = tmp_path / "model.p"
        write_p_file(path, r, a, x, dt, total_time)

        model = lv.Model(r=r, a=a, x=x, dt=dt, total_time=total_time)
        read = lv.load(path)
        for name in ("r", "a", "x"):
            assert getattr(model, name).tobytes() == getattr(read, name).tobytes()
        assert (model.n, model.dt, model.total_time) == (read.n, read.dt, read.total_time)
        # One species fails at once: only row 1, beyond it, carries the twin's offset.
        assert_same_as_lv_run(lambda: lv.run(model), path)
        assert_same_as_lv_run(lambda: lv.run(model, random_seed=seed), path,
                              "--random", "--seed", str(seed))

    def test_whole_numbers_and_lists_are_taken_as_doubles(self, tmp_path):
        path = tmp_path / "ints.p"
        write_p_file(path, [1, 2], [[1, 0], [1, 1]], [0.25, 0.5], 0.01, 30)
        model = lv.Model(r=[1, 2], a=np.array([[1, 0], [1, 1]], dtype=np.int32),
                         x=(0.25, 0.5), dt=0.01, total_time=30)
        assert model.a.dtype == np.float64
        assert_run_matches(lv.run(model), lv_run_json(path))

    def test_attributes_are_copies_and_assignment_changes_the_model(self, tmp_path):
        model = lv.load(EXAMPLES / "chaotic-4.p")
        model.x[0] = 0.9  # a copy: the model keeps its own
        assert model.x[0] == 0.3
        model.x = [0.2, 0.4, 0.3, 0.5]
        model.total_time = 60
        path = tmp_path / "changed.p"
        write_p_file(path, model.r, model.a, model.x, model.dt, model.total_time)
        assert_run_matches(lv.run(model), lv_run_json(path))

    def test_copies_and_pickles_are_the_same_model(self):
        import copy
        import pickle
        model = lv.load(EXAMPLES / "chaotic-4.dat")
        for other in (copy.copy(model), copy.deepcopy(model),
                      pickle.loads(pickle.dumps(model))):
            assert other is not model
            assert (other.style, other.source, other.n) == ("dat", model.source, 4)
            assert same_bits(lv.run(other, time=30).le, lv.run(model, time=30).le)


SWEEPS = [
    ("chaotic-4.p", {"vary": {"r(1)": (0.5, 1.0, 11)}, "time": 100},
     ["--vary", "r(1)=0.5:1:11", "--time", "100"]),
    ("chaotic-4.p", {"vary": {"r(1)": (0.5, 1, 4), "a(0,1)": (0.9, 1.3, 3)}, "time": 40},
     ["--vary", "r(1)=0.5:1:4", "--vary", "a(0,1)=0.9:1.3:3", "--time", "40"]),
    ("chaotic-4.p", {"seeds": (1, 24), "time": 60}, ["--seeds", "1:24", "--time", "60"]),
    ("chaotic-4.p", {"vary": {"r(0)": (0.8, 1.2, 3)}, "seeds": range(5, 9), "time": 30},
     ["--vary", "r(0)=0.8:1.2:3", "--seeds", "5:8", "--time", "30"]),
    ("chaotic-4.p", {"vary": {"r(01)": (0.6, 0.9, 5)}, "time": 20, "window_time": 50},
     ["--vary", "r(01)=0.6:0.9:5", "--time", "20", "--window-time", "50"]),
    # Points that fail: a step of 0, one that never moves t forward, one too small for the
    # chart; each keeps its row with its kind, message and step.
    ("stable-2.dat", {"vary": {"dt": (-0.01, 0.02, 4)}},
     ["--vary", "dt=-0.01:0.02:4"]),
    ("stable-2.dat", {"vary": {"dt": (1e-9, 0.05, 3)}, "time": 5},
     ["--vary", "dt=1e-9:0.05:3", "--time", "5"]),
    ("chaotic-4.p", {"vary": {"x(2)": (-300, 0.5, 4)}, "time": 20},
     ["--vary", "x(2)=-300:0.5:4", "--time", "20"]),
    ("chaotic-4.p", {"vary": {"r(2)": (1, 400, 3)}, "time": 20},
     ["--vary", "r(2)=1:400:3", "--time", "20"]),
    ("chaotic-4.p", {"vary": {"TotalTime": (0, 3, 4)}, "steps": 250},
     ["--vary", "TotalTime=0:3:4", "--steps", "250"]),
    ("chaotic-4.p", {"vary": {"r(1)": (0.5, 1.0, 11)}, "time": 25, "shard": (1, 3)},
     ["--vary", "r(1)=0.5:1:11", "--time", "25", "--shard", "1/3"]),
    ("community-51.dat", {"seeds": (3, 7), "steps": 800}, ["--seeds", "3:7", "--steps", "800"]),
    ("may-leonard-3.p", {"vary": {"a(1,2)": (1.2, 1.4, 6)}, "threads": 1, "time": 200},
     ["--vary", "a(1,2)=1.2:1.4:6", "--threads", "1", "--time", "200"]),
]


class TestSweepsAsLvSweep:
    @pytest.mark.parametrize("name, kwargs, options", SWEEPS)
    def test_rows_are_lv_sweeps_csv(self, name, kwargs, options):
        path = EXAMPLES / name
        frame = lv.sweep(lv.load(path), **kwargs)
        header, rows = lv_sweep_rows(path, *options)
        assert_frame_matches_csv(frame, header, rows)

    def test_failed_points_are_kept_with_their_kind(self):
        frame = lv.sweep(EXAMPLES / "stable-2.dat", vary={"dt": (-0.01, 0.02, 4)})
        assert list(frame["status"]) == ["Invalid procedure call or argument",
                                         "Division by zero", "ok", "ok"]
        assert frame["message"].iloc[2] == ""
        assert frame["steps"].isna().tolist() == [True, True, False, False]

    def test_points_equal_single_runs(self, chaotic):
        frame = lv.sweep(chaotic, vary={"r(1)": (0.6, 0.8, 3)}, seeds=(1, 2), time=50)
        for row in frame.itertuples(index=False):
            model = lv.load(EXAMPLES / "chaotic-4.p")
            model.r = [1.0, row[1], 1.53, 1.27]
            result = lv.run(model, time=50, random_seed=row.seed)
            assert same_bits(result.le, row.LE) and result.steps == row.steps
            populations = [getattr(row, f"x{i}") for i in range(4)]
            assert [v.hex() for v in result.x] == [float(v).hex() for v in populations]
            assert result.clamps == row.clamps

    def test_the_analyses_are_lv_sweeps_columns_and_maxima(self, tmp_path):
        path = EXAMPLES / "chaotic-4.p"
        vary = ["--vary", "r(1)=0.6:0.9:4"]
        for kwargs, options in [({"spectrum": True, "discard": 50}, ["--spectrum", "--discard", "50"]),
                                ({"method": "tangent"}, ["--method", "tangent"])]:
            frame = lv.sweep(path, vary={"r(1)": (0.6, 0.9, 4)}, time=200, **kwargs)
            header, rows = lv_sweep_rows(path, "--time", "200", *vary, *options)
            assert_frame_matches_csv(frame, header, rows)
        maxima = tmp_path / "maxima.csv"
        frame = lv.sweep(path, vary={"r(1)": (0.6, 0.9, 4)}, time=200, discard=50, maxima=0)
        program(LV_SWEEP, "--quiet", "--time", "200", *vary, "--discard", "50", "--maxima", "0",
                "--maxima-csv", str(maxima), "--", str(path))
        with open(maxima, newline="") as f:
            rows = list(csv.reader(f))
        peaks = frame.attrs["maxima"]
        assert list(peaks.columns) == rows[0]
        assert len(peaks) == len(rows) - 1 > 10
        for (point, r1, seed, value), row in zip(peaks.itertuples(index=False), rows[1:]):
            assert [str(point), float(r1).hex(), "" if pd.isna(seed) else str(seed),
                    value.hex()] == [row[0], float(row[1]).hex(), row[2], float(row[3]).hex()]

    def test_threads_do_not_change_a_bit(self, chaotic):
        one = lv.sweep(chaotic, seeds=(1, 40), time=30, threads=1)
        many = lv.sweep(chaotic, seeds=(1, 40), time=30, threads=7)
        assert one.equals(many)


def test_the_docstrings_examples(monkeypatch):
    import doctest
    monkeypatch.chdir(EXAMPLES.parent)
    failed, attempted = doctest.testmod(lv, optionflags=doctest.NORMALIZE_WHITESPACE)
    assert attempted >= 8 and failed == 0
