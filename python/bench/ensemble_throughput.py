"""Throughput of qz5.ensemble on 1 and 2 local workers, and the cost of the
Python call over the engine's own time, measured in one session.

    PYTHONPATH=build/python /usr/bin/python3 python/bench/ensemble_throughput.py [members]

The members are an uncertainty ensemble of the bundled scenario: RXPAR(4),
(5), (12) and (18) each scaled by a factor drawn uniformly from 0.9..1.1
(seed 1). Their costs differ (a member can take several times the steps of
another), as in real use. Each cluster is
started and warmed up (every worker has imported qz5 and run a member)
before the timed ensemble, so the figures are members per second of steady
running, not of start-up.
"""
import os
import pathlib
import statistics
import sys
import time

import numpy as np

import qz5
from qz5 import _core
from qz5.ensembles import connect
from qz5.results import run_args

ROOT = pathlib.Path(__file__).resolve().parents[2]


def load():
    return " ".join(f"{v:.2f}" for v in os.getloadavg())


def overhead(s, n=40):
    engine, call = [], []
    for _ in range(n):
        engine += _core.time_engine(s, run_args(), 1)
        t0 = time.perf_counter()
        qz5.run(s)
        call.append(time.perf_counter() - t0)
    return statistics.median(engine), statistics.median(call)


def cpu_seconds():
    import resource

    u = resource.getrusage(resource.RUSAGE_SELF)
    return u.ru_utime + u.ru_stime


def throughput(s, members, n_workers):
    """Members per second, and the share of a core each worker got (its CPU
    time over the wall time: below 1 when other processes take the cores)."""
    client, close = connect(None, n_workers)
    try:
        qz5.ensemble(s, members[: 4 * n_workers], client=client)  # warm-up
        cpu0 = client.run(cpu_seconds)
        t0 = time.perf_counter()
        ds = qz5.ensemble(s, members, client=client)
        seconds = time.perf_counter() - t0
        cpu1 = client.run(cpu_seconds)
    finally:
        close()
    assert (ds.status == "complete").all()
    share = [(cpu1[w] - cpu0[w]) / seconds for w in cpu0]
    return len(members) / seconds, seconds, share


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    s = qz5.Scenario.from_names_file(ROOT / "examples/estuary/estuary.fn")
    rng = np.random.default_rng(1)
    members = [{f"rxpar[{k}]": s.get(f"rxpar[{k}]") * rng.uniform(0.9, 1.1)
                for k in (4, 5, 12, 18)} for _ in range(n)]
    print(f"cores: {os.cpu_count()}, load average at start: {load()}")
    e, c = overhead(s)
    print(f"one run: engine {e * 1e3:.1f} ms, qz5.run {c * 1e3:.1f} ms "
          f"(+{(c / e - 1) * 100:.1f} %)  [medians of 40, load {load()}]")
    rates = {}
    for w in (1, 2):
        rates[w], secs, share = throughput(s, members, w)
        print(f"{n} members on {w} worker(s): {secs:.2f} s, {rates[w]:.1f} members/s, "
              f"CPU share of each worker {', '.join(f'{x:.2f}' for x in share)} "
              f"[load {load()}]")
    print(f"2 workers / 1 worker: {rates[2] / rates[1]:.2f}x")


if __name__ == "__main__":
    main()
