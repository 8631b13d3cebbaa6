"""The example scripts of examples/python, run as a user runs them, with the Agg backend."""

import csv
import io
import os
import subprocess
import sys

from matplotlib import image

import lotkavolterra
from conftest import EXAMPLES, LV_RUN, LV_SWEEP, program

SCRIPTS = EXAMPLES / "python"


def example(script, tmp_path, *args):
    # The package these tests import, wherever the examples run from.
    package = os.path.dirname(os.path.dirname(lotkavolterra.__file__))
    environment = dict(os.environ, MPLBACKEND="Agg", MPLCONFIGDIR=str(tmp_path / "mpl"),
                       PYTHONPATH=package)
    done = subprocess.run([sys.executable, SCRIPTS / script, *map(str, args)],
                          capture_output=True, text=True, timeout=120, cwd=tmp_path,
                          env=environment)
    assert done.returncode == 0, done.stderr
    return done.stdout


def reddish(picture):
    r, g, b = picture[:, :, 0], picture[:, :, 1], picture[:, :, 2]
    return int(((r > 0.5) & (g < 0.45) & (b < 0.45)).sum())


def bluish(picture):
    r, g, b = picture[:, :, 0], picture[:, :, 1], picture[:, :, 2]
    return int(((b > 0.5) & (r < 0.35) & (g < 0.6)).sum())


def dark(picture):
    return int((picture[:, :, :3].max(axis=2) < 0.35).sum())


def figure(path):
    picture = image.imread(path)
    assert picture.shape[:2] == (540, 960)
    return picture


def test_le_against_r1(tmp_path):
    out = example("le_against_r1.py", tmp_path, "--time", 1000, "--points", 21,
                  "--output", "sweep.png")
    text = program(LV_SWEEP, "--quiet", "--time", "1000", "--vary", "r(1)=0.5:1:21",
                   EXAMPLES / "chaotic-4.p")[1]
    rows = list(csv.DictReader(io.StringIO(text, newline="")))
    positive = sum(float(r["LE"]) > 0 for r in rows)
    assert out == f"21 points, {positive} with LE > 0, 0 failed: sweep.png\n"
    picture = figure(tmp_path / "sweep.png")
    # A dot for each point, in its colour; a blue one in the legend whatever the points.
    assert reddish(picture) > 30 * positive
    assert bluish(picture) > 30


def test_le_convergence(tmp_path):
    out = example("le_convergence.py", tmp_path, "--time", 300, "--output", "history.png")
    program(LV_RUN, "--time", "300", "--history", tmp_path / "history.csv",
            EXAMPLES / "chaotic-4.p")
    with open(tmp_path / "history.csv", newline="") as f:
        records = list(csv.reader(f))[1:]
    le, steps = float(records[-1][2]), int(records[-1][0])
    assert out == f"LE = {le:.6f} after {steps} steps, {len(records)} rows: history.png\n"
    picture = figure(tmp_path / "history.png")
    assert reddish(picture) > 200  # the final exponent's dotted line
    assert dark(picture) > 2000  # the exponent so far, the axes and the text
