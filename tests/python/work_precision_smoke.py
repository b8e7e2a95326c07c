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
