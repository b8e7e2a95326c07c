#!/usr/bin/python3
"""The moving grid on the tracer slug: where the steps go, and why.

    bench/fronts_study.py [--qz5 build/qz5] [--out bench/results]

Runs the slug of work_precision.py on 400 points with the differenced matrix
(the positions' increments set by their magnitude, and by their spacing) and
the analytic one, and renders <out>/fronts.png:
  - the step size against time (from the station series, which are sampled at
    every accepted step) for the three;
  - the grid points' positions at the output times (the crowding against the
    free outflow as the pulse leaves);
  - the gauge series of qz5 on 140 points against the closed-form solution of
    the advection-dispersion equation on a half-infinite reach with a flux
    inlet (an independent check of the reference's peaks and arrivals).
"""
import argparse
import math
import os
import shutil
import sys
import tempfile

import numpy as np
from scipy.special import erfc

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import work_precision as wp  # noqa: E402

GRID = (1e-5, 8.0, 1e-5)  # TAU, KAPPA, ALPHA


def step_response(x, t, v, d):
    """Concentration (fraction of the inflow's) at x and time t > 0 after a step at
    the inlet of a half-infinite reach, the inlet taking the flux v c0 (advective
    inflow, no dispersive flux from upstream)."""
    t = np.maximum(t, 1e-12)
    s = 2.0 * np.sqrt(d * t)
    a = 0.5 * erfc((x - v * t) / s)
    b = np.sqrt(v * v * t / (math.pi * d)) * np.exp(-(x - v * t) ** 2 / (4.0 * d * t))
    # exp(v x / d) erfc((x + v t) / s), written so that neither factor overflows.
    z = (x + v * t) / s
    tail = np.exp(v * x / d - z * z) * _erfcx(z)
    c = a + b - 0.5 * (1.0 + v * x / d + v * v * t / d) * tail
    return np.where(t > 1e-12, c, 0.0)


def _erfcx(z):
    from scipy.special import erfcx
    return erfcx(z)


def pulse(x, t, sc):
    area, disp = sc.geometry[0][1], sc.geometry[0][2]
    v = sc.lateral["q"][0] / area  # m per day
    t0, t1 = sc.pulse_start, sc.pulse_start + 1.5 / 24.0
    return 100.0 * (step_response(x, t - t0, v, disp) * (t > t0) -
                    step_response(x, t - t1, v, disp) * (t > t1))


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--qz5", default=os.path.join(here, "..", "build", "qz5"))
    ap.add_argument("--out", default=os.path.join(here, "results"))
    args = ap.parse_args()
    exe = os.path.abspath(args.qz5)
    sc = wp.slug()
    scratch = tempfile.mkdtemp(prefix="qz5_fronts_")
    runs = {}
    try:
        for label, extra, n, rtol in (
                ("differences", ["--jacobian", "differences"], 400, 1e-5),
                ("spacing", ["--jacobian", "differences", "--position-increments", "spacing"],
                 400, 1e-5),
                ("exact", ["--jacobian", "exact"], 400, 1e-5),
                ("exact140", ["--jacobian", "exact"], 140, 1e-4)):
            folder = os.path.join(scratch, label)
            res, cpu, steps = wp.run_qz5(exe, sc, folder, n, rtol, rtol * 1e-2, *GRID, extra)
            if res is None:
                print("%s: failed" % label)
                continue
            profiles, series = res
            runs[label] = (profiles, series, steps, cpu)
            print("%-11s %3d points RTOL %.0e: %5d steps, CPU %.2f s" % (label, n, rtol, steps, cpu))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    # The closed form against qz5 on 140 points: peak and arrival per gauge.
    if "exact140" in runs:
        for (t, c), x in zip(runs["exact140"][1], sc.stations):
            tt = np.linspace(0.0, sc.t_end, 20001)
            pa, aa = wp.peak_and_arrival(tt, pulse(x, tt, sc))
            pq, aq = wp.peak_and_arrival(t, c)
            print("gauge %5.0f m: closed form peak %.3f arrival %.5f d; qz5 140 points peak %.3f "
                  "(%+.2e) arrival %.5f d (%+.2e)" % (x, pa, aa, pq, (pq - pa) / pa, aq,
                                                      (aq - aa) / (aa - sc.pulse_start)))

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, ax = plt.subplots(1, 3, figsize=(17, 4.8))
    names = {"differences": "differences", "spacing": "differences, spacing increments",
             "exact": "analytic"}
    for label, colour in (("differences", "C3"), ("spacing", "C2"), ("exact", "C0")):
        if label not in runs:
            continue
        t = runs[label][1][0][0]
        ax[0].semilogy(t[1:] * 24.0, np.diff(t) * 86400.0, ".", ms=2, color=colour,
                       label="%s: %d steps" % (names[label], runs[label][2]))
    ax[0].set_xlabel("time, h")
    ax[0].set_ylabel("step, s")
    ax[0].set_title("400 points, RTOL 1e-5: step sizes")
    ax[0].legend(markerscale=5)
    for label, colour, dx in (("differences", "C3", -0.12), ("exact", "C0", 0.12)):
        if label not in runs:
            continue
        for k, (x, _) in enumerate(runs[label][0]):
            ax[1].plot(np.full(len(x), (k + 1) + dx), x / 1000.0, "_", ms=6, color=colour,
                       label="%s matrix" % label if k == 0 else None)
    ax[1].set_xlabel("output time, h")
    ax[1].set_ylabel("grid point position, km")
    ax[1].set_title("400 points: where the grid is")
    ax[1].legend()
    if "exact140" in runs:
        tt = np.linspace(0.0, sc.t_end, 4001)
        for k, ((t, c), x) in enumerate(zip(runs["exact140"][1], sc.stations)):
            ax[2].plot(tt * 24.0, pulse(x, tt, sc), "-", color="C%d" % k, lw=0.8,
                       label="closed form, %g km" % (x / 1000.0))
            ax[2].plot(t * 24.0, c, ".", ms=2, color="C%d" % k)
        ax[2].set_xlabel("time, h")
        ax[2].set_ylabel("tracer")
        ax[2].set_title("gauges: qz5 140 points (dots), closed form (lines)")
        ax[2].legend(fontsize=8)
    fig.tight_layout()
    path = os.path.join(args.out, "fronts.png")
    fig.savefig(path, dpi=100)
    print("wrote", path)


if __name__ == "__main__":
    sys.exit(main())
