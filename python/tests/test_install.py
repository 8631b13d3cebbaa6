"""The README's install: the built package into a fresh virtual environment, offline."""

import json
import os
import pathlib
import subprocess
import sys

import pytest

import lotkavolterra
from conftest import EXAMPLES, lv_run_json

BUILT = pathlib.Path(lotkavolterra.__file__).resolve().parents[1]


@pytest.mark.skipif(not (BUILT / "setup.py").exists(),
                    reason="the package under test is not the one the build laid out")
def test_pip_installs_the_built_package_into_a_venv(tmp_path):
    venv = tmp_path / "venv"
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}

    def call(*args):
        done = subprocess.run([str(a) for a in args], capture_output=True, text=True,
                              timeout=300, env=environment, cwd=tmp_path)
        assert done.returncode == 0, done.stdout + done.stderr
        return done.stdout

    call(sys.executable, "-m", "venv", "--system-site-packages", venv)
    # --no-index: nothing may come from the network.
    call(venv / "bin" / "pip", "install", "--no-build-isolation", "--no-index", BUILT)
    out = call(venv / "bin" / "python", "-c",
               "import json, lotkavolterra as lv\n"
               f"r = lv.run({str(EXAMPLES / 'chaotic-4.p')!r}, time=50)\n"
               "print(json.dumps({'file': lv.__file__, 'LE': r.le.hex(), 'steps': r.steps,"
               " 'x': [v.hex() for v in r.x]}))")
    got = json.loads(out)
    assert pathlib.Path(got["file"]).is_relative_to(venv)
    expected = lv_run_json(EXAMPLES / "chaotic-4.p", "--time", "50")
    assert (got["LE"], got["steps"], got["x"]) == (
        float(expected["LE"]).hex(), expected["steps"], [float(v).hex() for v in expected["x"]])
