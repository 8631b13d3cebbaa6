"""Ctrl-C: a SIGINT stops a long run or sweep at once and raises KeyboardInterrupt.

Each case is a fresh interpreter that sends itself SIGINT while it works, and
says how long the KeyboardInterrupt took and whether the interpreter still runs.
"""

import json
import os
import subprocess
import sys

import pytest

import lotkavolterra as lv
from conftest import EXAMPLES, same_bits

SCRIPT = r"""
import json, os, signal, sys, threading, time
import lotkavolterra as lv

model = lv.load(sys.argv[1])
sent = []

def interrupt():
    sent.append(time.monotonic())
    os.kill(os.getpid(), signal.SIGINT)

if sys.argv[2] == "quiet-handler":
    caught = []
    signal.signal(signal.SIGINT, lambda number, frame: caught.append(number))

threading.Timer(0.1, interrupt).start()
report = {}
try:
    if sys.argv[2] == "run":
        lv.run(model, continuous=True, steps=10 ** 15)      # for ever
    elif sys.argv[2] == "sweep":
        lv.sweep(model, seeds=(0, 4294967295), time=10 ** 6)  # for ever too
    else:
        report["le"] = lv.run(model, continuous=True, steps=12_000_000).le
        report["caught"] = len(caught)
    report["finished"] = True
except KeyboardInterrupt:
    report["delay"] = time.monotonic() - sent[0]
report["after"] = lv.run(model, time=10).le
print(json.dumps(report))
"""


def interrupted(what):
    environment = dict(os.environ)
    done = subprocess.run([sys.executable, "-c", SCRIPT, str(EXAMPLES / "chaotic-4.p"), what],
                          capture_output=True, text=True, timeout=60, env=environment)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


@pytest.mark.parametrize("what", ["run", "sweep"])
def test_ctrl_c_stops_the_work_and_raises(chaotic, what):
    report = interrupted(what)
    assert "finished" not in report
    assert report["delay"] < 0.2
    # The interpreter goes on: a run after the interrupt has its usual bits.
    assert same_bits(report["after"], lv.run(chaotic, time=10).le)


def test_a_handler_that_does_not_raise_leaves_the_run_alone(chaotic):
    report = interrupted("quiet-handler")
    assert report["finished"] and report["caught"] == 1
    assert same_bits(report["le"], lv.run(chaotic, continuous=True, steps=12_000_000).le)
