"""Runs and sweeps from several Python threads at once: the GIL let go, the same bits."""

import concurrent.futures
import os
import threading
import time

import lotkavolterra as lv
from conftest import EXAMPLES, assert_run_matches, lv_run_json


def outcome(result):
    return result.le.hex(), result.steps, result.t.hex(), result.x.tobytes()


def test_runs_at_once_give_the_bits_of_runs_one_at_a_time(chaotic):
    community = lv.load(EXAMPLES / "community-51.dat")
    jobs = [(chaotic, {"random_seed": s, "time": 150}) for s in range(1, 9)]
    jobs += [(community, {"random_seed": s, "steps": 4000}) for s in range(1, 5)]
    alone = [outcome(lv.run(m, **kw)) for m, kw in jobs]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        together = list(pool.map(lambda job: outcome(lv.run(job[0], **job[1])), jobs))
    assert together == alone
    assert_run_matches(lv.run(chaotic, random_seed=3, time=150),
                       lv_run_json(EXAMPLES / "chaotic-4.p", "--random", "--seed", "3",
                                   "--time", "150"))


def test_sweeps_and_runs_at_once(chaotic):
    kwargs = {"vary": {"r(1)": (0.5, 1.0, 9)}, "seeds": (1, 3), "time": 60}
    alone = lv.sweep(chaotic, **kwargs)
    with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
        sweeps = [pool.submit(lv.sweep, chaotic, threads=2, **kwargs) for _ in range(2)]
        run = pool.submit(lv.run, chaotic, time=300)
        for future in sweeps:
            assert future.result().equals(alone)
    assert outcome(run.result()) == outcome(lv.run(chaotic, time=300))


def python_turns_during(work):
    """Count how often the main thread gets to run Python while `work` runs in another."""
    done = threading.Event()
    worker = threading.Thread(target=lambda: (work(), done.set()))
    worker.start()
    turns = 0
    while not done.is_set():
        turns += 1
        time.sleep(0.001)
    worker.join()
    return turns


def test_the_gil_is_let_go_while_a_run_works(chaotic):
    # Some 0.3 s of work: holding the GIL would leave the main thread a turn or two.
    assert python_turns_during(lambda: lv.run(chaotic, continuous=True, steps=12_000_000)) > 20


def test_the_gil_is_let_go_while_a_sweep_works(chaotic):
    assert python_turns_during(lambda: lv.sweep(chaotic, seeds=(1, 200), time=800)) > 20


def thread_count():
    return len(os.listdir("/proc/self/task"))


def settled_thread_count():
    """The process's threads once none is still on its way out (a thread just joined can stay
    listed for a moment on a busy machine)."""
    count, same = thread_count(), 0
    deadline = time.monotonic() + 2
    while same < 20 and time.monotonic() < deadline:
        time.sleep(0.001)
        now = thread_count()
        same = same + 1 if now == count else 0
        count = now
    return count


def threads_added_during(work):
    """Return the most threads that `work`, run in a thread of its own, added to the process."""
    before = settled_thread_count()
    done = threading.Event()
    worker = threading.Thread(target=lambda: (work(), done.set()))
    worker.start()
    most = 0
    while not done.is_set():
        most = max(most, thread_count())
        time.sleep(0.0005)
    worker.join()
    return most - before


def test_a_sweep_uses_every_usable_processor(chaotic):
    assert lv.usable_processors() == len(os.sched_getaffinity(0))
    work = {"seeds": (1, 400), "time": 800}
    alone = threads_added_during(lambda: lv.sweep(chaotic, threads=1, **work))
    default = threads_added_during(lambda: lv.sweep(chaotic, **work))
    assert default - alone == lv.usable_processors() - 1
