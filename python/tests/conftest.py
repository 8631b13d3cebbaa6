"""What the module's tests share: the real programs, the examples, and exact comparison.

ctest sets LV_RUN, LV_SWEEP and LV_SOURCE; run by hand, the tests look for the
programs in build/bin beside the source.
"""

import csv
import io
import json
import math
import os
import pathlib
import subprocess

import numpy as np
import pandas as pd
import pytest

SOURCE = pathlib.Path(os.environ.get("LV_SOURCE",
                                     pathlib.Path(__file__).resolve().parents[2]))
EXAMPLES = SOURCE / "examples"
LV_RUN = os.environ.get("LV_RUN", str(SOURCE / "build" / "bin" / "lv-run"))
LV_SWEEP = os.environ.get("LV_SWEEP", str(SOURCE / "build" / "bin" / "lv-sweep"))


def same_bits(a, b):
    """Return whether two floats are the same double (NaN equal to NaN, -0 not 0)."""
    return float(a).hex() == float(b).hex()


def program(*args, check=True):
    """Run one of the programs; return (exit status, stdout, stderr), line ends kept."""
    done = subprocess.run([str(a) for a in args], capture_output=True, timeout=120)
    out, err = done.stdout.decode(), done.stderr.decode()
    if check and done.returncode != 0:
        raise AssertionError(f"{args} exited {done.returncode}: {err}")
    return done.returncode, out, err


def lv_run_json(path, *options):
    """Return what ``lv-run --json OPTIONS PATH`` prints, as a dict."""
    return json.loads(program(LV_RUN, "--json", *options, "--", path)[1])


def lv_run_failure(path, *options):
    """Return lv-run's one line about a run that failed, less "lv-run: "."""
    status, out, err = program(LV_RUN, "--json", *options, "--", path, check=False)
    assert status == 1, f"lv-run {options} {path} exited {status}: {out}{err}"
    assert err.startswith("lv-run: ") and err.endswith("\n")
    return err[len("lv-run: "):-1]


def lv_sweep_rows(path, *options):
    """Return lv-sweep's CSV for PATH as (header, rows), each row a list of fields."""
    text = program(LV_SWEEP, "--quiet", *options, "--", path)[1]
    assert text.endswith("\r\n")
    records = list(csv.reader(io.StringIO(text, newline="")))
    return records[0], records[1:]


def write_p_file(path, r, a, x, dt, total_time):
    """Write a row-style parameter file holding the values with 17 significant digits."""
    n = len(r)

    def line(values):
        return "".join(f"{float(v):.17g} " for v in values) + "\n"

    with open(path, "w") as f:
        f.write("written by the tests\n")
        f.write(f"{n} {float(total_time):.17g} {float(dt):.17g}\n")
        f.write(line(r))
        f.write(line(x))
        f.write("0 " * n + "\n")
        for row in a:
            f.write(line(row))


def assert_run_matches(result, expected):
    """Check a RunResult against lv-run's JSON, bit for bit."""
    assert result.steps == expected["steps"]
    assert same_bits(result.le, expected["LE"])
    assert same_bits(result.t, expected["t"])
    assert result.plot_interval == expected["PlotInterval"]
    assert result.x.dtype == np.float64
    assert [v.hex() for v in result.x.tolist()] == [float(v).hex() for v in expected["x"]]
    assert result.clamps == expected["clamps"]
    if "spectrum" in expected:
        assert [v.hex() for v in result.spectrum.tolist()] == [
            float("-inf" if v is None else v).hex() for v in expected["spectrum"]]
        assert same_bits(result.dimension, expected["dimension"])
    else:
        assert result.spectrum is None
    if "equilibrium" in expected:
        fixed, want = result.equilibrium, expected["equilibrium"]
        assert fixed["singular"] == want["singular"] and fixed["kind"] == want["kind"]
        assert fixed["feasible"] == want["feasible"] and fixed["stable"] == want["stable"]
        assert [v.hex() for v in fixed["x"].tolist()] == [float(v).hex() for v in want["x"]]
        assert [(z.real.hex(), z.imag.hex()) for z in fixed["eigenvalues"].tolist()] == [
            (float(re).hex(), float(im).hex()) for re, im in want["eigenvalues"]]
    else:
        assert result.equilibrium is None


def assert_same_as_lv_run(call, path, *options):
    """Check that call() gives lv-run's result for PATH and OPTIONS, or fails as it does."""
    status, out, err = program(LV_RUN, "--json", *options, "--", path, check=False)
    if status == 0:
        assert_run_matches(call(), json.loads(out))
        return
    assert status == 1 and err.startswith("lv-run: "), err
    import lotkavolterra as lv
    with pytest.raises(lv.Error) as caught:
        call()
    assert str(caught.value) == err[len("lv-run: "):-1]
    assert str(caught.value).startswith(caught.value.kind + ": ")


def assert_frame_matches_csv(frame, header, rows):
    """Check a sweep's data frame against lv-sweep's CSV, field by field, to the bit."""
    assert list(frame.columns) == header
    assert len(frame) == len(rows)
    text_columns = {"status", "message", "sweep"}
    whole_columns = {"point", "seed", "steps", "clamps"}
    for name, column in zip(header, zip(*rows)):
        values = frame[name].tolist()
        for value, field in zip(values, column):
            if name in text_columns:
                assert value == field, (name, value, field)
            elif name in whole_columns:
                got = None if pd.isna(value) else int(value)
                expected = None if field == "" else int(field)
                assert got == expected, (name, value, field)
            elif field == "":
                assert math.isnan(value), (name, value)
            else:
                assert same_bits(value, float(field)), (name, value, field)


@pytest.fixture
def chaotic():
    """The chaotic four-species system of examples/chaotic-4.p."""
    import lotkavolterra as lv
    return lv.load(EXAMPLES / "chaotic-4.p")
