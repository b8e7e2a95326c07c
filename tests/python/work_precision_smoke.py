#!/usr/bin/python3
"""Smoke run of bench/work_precision.py --quick on the reacting scenario.

    work_precision_smoke.py QZ5_EXE WORK_PRECISION_PY

Checks that every run produced an error, that the fixed-grid peer converges at
second order in space (halving the spacing divides its error by about four:
the peer really is the finite-volume scheme it claims to be), that LSODA and
BDF agree (the same semi-discrete equations), and that the table and the
figure are written.
"""
import csv
import os
import subprocess
import sys
import tempfile

exe, script = sys.argv[1], sys.argv[2]
out = tempfile.mkdtemp(prefix="qz5_wp_smoke_")
subprocess.run([sys.executable, script, "--quick", "--scenario", "reacting", "--qz5", exe,
                "--out", out], check=True, capture_output=True)
rows = list(csv.DictReader(open(os.path.join(out, "reacting.csv"))))
err = {(r["solver"], int(r["points"])): float(r["error"]) for r in rows}
assert len(err) == 5 and all(0.0 < e < 1.0 for e in err.values()), err
for solver in ("LSODA", "BDF"):
    ratio = err[(solver, 41)] / err[(solver, 81)]
    assert 3.0 < ratio < 5.0, (solver, ratio)
assert abs(err[("LSODA", 81)] - err[("BDF", 81)]) < 0.02 * err[("BDF", 81)], err
assert os.path.getsize(os.path.join(out, "work_precision.png")) > 10000
assert "| qz5 | 41 |" in open(os.path.join(out, "reacting.md")).read()
print("ok", err)

# The gauges' peak and arrival, against values known in closed form.
sys.path.insert(0, os.path.dirname(os.path.abspath(script)))
import numpy as np  # noqa: E402
import work_precision as wp  # noqa: E402
# From t = 3 on the series is the parabola 9.2 - (t - 3.5)^2, whose top lies
# between the samples 3.7 and 4.4: the fit through the highest sample and its
# neighbours finds 9.2 exactly. Before, it rises linearly through 0 to 8.95
# at t = 2 (slope 4.475), so half the peak, 4.6, is crossed at 4.6 / 4.475.
t = np.array([0.0, 1.0, 2.0, 3.0, 3.7, 4.4, 5.1])
c = 9.2 - (t - 3.5) ** 2
c[:3] = 4.475 * t[:3]
peak, arrival = wp.peak_and_arrival(t, c)
assert abs(peak - 9.2) < 1e-9, peak
assert abs(arrival - 4.6 / 4.475) < 1e-9, (arrival, 4.6 / 4.475)
# A series shifted by 1 % of its time since the start, scaled by 1 % in height.
p, a = wp.station_errors([(t + 0.01 * (t - 0.0), 1.01 * c)], [(t, c)], 0.0)
assert abs(p - 0.01) < 1e-9 and abs(a - 0.01) < 1e-9, (p, a)
print("gauges ok")
