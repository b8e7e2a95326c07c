#!/usr/bin/python3
"""Work-precision of qz5 against a fixed-grid method of lines written with scipy.

    bench/work_precision.py [--qz5 build/qz5] [--out bench/results] [--quick]
                            [--scenario reacting|slug|both]

The peer solves the same finite-volume equations as qz5 does on its moving
grid, on a fixed uniform grid: per grid point the half-interval balances of
capacity, reaction and lateral source against the fluxes at the interval
midpoints (advective minus dispersive, evaluated from the mean values and the
difference quotient of the interval's two points), the inflow flux at the
first boundary's concentration, and at the second end either the boundary's
concentration or a free outflow. Its right-hand side is vectorised over the
grid (numpy, no Python loop over points) and the integrators get the band:
LSODA through lband/uband, BDF through a banded jac_sparsity.

Both are measured against one reference: the peer on a fine grid with tight
tolerances (BDF). The error of a run is the worst difference over all output
times and positions, relative to each constituent's range in the reference,
the reference interpolated linearly to the run's positions. Work is CPU time
(user + system) of the qz5 process, or of the Python solve for the peer; the
runs alternate between the solvers in one session.

Two scenarios, written by this script into a scratch folder:
  reacting  the estuary's channel laws and six-pool kinetics over 23.3 km,
            constant boundaries, the river entering above the head, 10 days;
            smooth in space.
  slug      a tracer slug down an 8 km river reach of constant section (area
            40 m2, dispersion 5e5 m2/day), a flow of 10 m3/s, a pulse of 100
            at the head for 1.5 hours, a free outflow, 11 hours; fronts that a
            fixed grid must resolve everywhere the pulse will pass.

Writes <out>/<scenario>.csv (one line per run), <out>/<scenario>.md (the table
and the speed-up of qz5 over the fastest peer at 1 % and 0.1 % error,
interpolated in log-log) and <out>/work_precision.png.
"""
import argparse
import csv
import math
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.integrate import solve_ivp
from scipy.sparse import diags

NCOMP = 6
KMAX_EXPONENT = 300.0


# --------------------------------------------------------------------------
# Scenarios: the files qz5 reads and the same data for the peer.

class Scenario:
    def __init__(self, name, xl, xr, t_end, outputs, lateral, boundary, driver,
                 geometry, free_outflow, rxpar, info10, npts_note):
        self.name = name
        self.xl, self.xr = xl, xr
        self.t_end = t_end
        self.outputs = outputs            # output times, days (after 0)
        self.lateral = lateral            # dict x, q, k, table (rows: t, c[m][l])
        self.boundary = boundary          # rows: t, 6 left, 6 right
        self.driver = driver              # rows: t, s
        self.geometry = geometry          # None (built-in laws) or rows x, A, D(per day)
        self.free_outflow = free_outflow
        self.rxpar = rxpar
        self.info10 = info10
        self.npts_note = npts_note
        # A step limit for the peer: started from a state at rest, LSODA
        # otherwise steps over a pulse that begins after the start.
        self.max_step = None
        self.stations = []                # gauge positions (none: no station series)
        self.pulse_start = 0.0

    def initial(self, x):
        """Linear between the boundaries' start values in the point index, as qz5's UINIT."""
        n = len(x)
        left = self.boundary[0][1:1 + NCOMP]
        right = self.boundary[0][1 + NCOMP:1 + 2 * NCOMP]  # constant or zero at the start
        j = np.arange(n) / (n - 1)
        return np.array([left[m] + (right[m] - left[m]) * j for m in range(NCOMP)])


ESTUARY_RXPAR = [1.2, 0.0, 2.0, 0.1, 0.4, 1.0, 0.3, 0.3, 20.0, 100.0, 1.0, 0.15, 6.625, 10.0,
                 0.4, 0.5, 0.8, 0.05, 0.03]


def reacting():
    cl = [0.2, 300.0, 40.0, 10.0, 3.0, 20.0]
    cr = [30.0, 100.0, 5.0, 2.0, 1.0, 5.0]
    lat = {"x": [-1000.0], "q": [864000.0 * 0.5], "k": 0.005,
           "table": [[-1.0] + cl, [30.0] + cl]}
    bnd = [[-1.0] + cl + cr, [30.0] + cl + cr]
    return Scenario("reacting", 0.0, 23330.0, 10.0, [float(d) for d in range(1, 11)], lat, bnd,
                    [[-1.0, 1.0], [30.0, 1.0]], None, False, ESTUARY_RXPAR, 0,
                    "built-in area and dispersion laws, fixed mouth")


def slug():
    zero = [0.0] * (NCOMP - 1)
    # The pulse switches on just after the start, so that the initial profile
    # (from the boundary values at the start) is zero.
    pulse_start, pulse_end = 1e-3, 1e-3 + 1.5 / 24.0
    bnd = [[-1.0, 0.0] + zero + [0.0] * NCOMP,
           [pulse_start, 0.0] + zero + [0.0] * NCOMP,
           [pulse_start, 100.0] + zero + [0.0] * NCOMP,
           [pulse_end, 100.0] + zero + [0.0] * NCOMP,
           [pulse_end, 0.0] + zero + [0.0] * NCOMP,
           [1.0, 0.0] + zero + [0.0] * NCOMP]
    lat = {"x": [-1000.0], "q": [864000.0], "k": 0.01,
           "table": [[-1.0] + [0.0] * NCOMP, [1.0] + [0.0] * NCOMP]}
    geometry = [[-2000.0, 40.0, 5.0e5], [10000.0, 40.0, 5.0e5]]
    sc = Scenario("slug", 0.0, 8000.0, 11.0 / 24.0, [h / 24.0 for h in range(1, 12)], lat, bnd,
                  [[-1.0, 1.0], [1.0, 1.0]], geometry, True, ESTUARY_RXPAR, 0,
                  "constant section 40 m2, D 5e5 m2/day, 10 m3/s, free outflow")
    sc.max_step = 0.25 / 24.0  # a quarter of an hour
    # Gauges on the reach: peak and arrival of the pulse at each.
    sc.stations = [2000.0, 4000.0, 7000.0]
    sc.pulse_start = pulse_start
    return sc


def write_qz5_files(sc, folder, npts, rtol, atol, tau, kappa, alpha):
    os.makedirs(folder, exist_ok=True)
    p = os.path.join
    with open(p(folder, "run.fn"), "w") as f:
        f.write("%s\nrecords 3-9\nrun.prm\nrun.li\nrun.bnd\nrun.t\nrun.UT0\nrun.drv\nrun.txc\n" %
                sc.name)
    lines = ["%d" % NCOMP, "%d" % npts, repr(tau), repr(kappa), repr(alpha), repr(atol),
             repr(rtol), "%d" % sc.info10, "F", "F", "1.0", "1.0", "1.0"]
    lines += ["1.0"] * NCOMP + [repr(v) for v in sc.rxpar]
    with open(p(folder, "run.prm"), "w") as f:
        f.write("\n".join(lines) + "\n")
    lat = sc.lateral
    with open(p(folder, "run.li"), "w") as f:
        f.write("lateral inputs\n%d\n" % len(lat["x"]))
        f.write(" ".join(repr(v) for v in lat["x"]) + "\n")
        f.write(" ".join(repr(v) for v in lat["q"]) + "\n")
        f.write(repr(lat["k"]) + "\n")
        for row in lat["table"]:
            f.write(" ".join(repr(v) for v in row) + "\n")
    with open(p(folder, "run.bnd"), "w") as f:
        f.write("%r %r\n" % (sc.xl, sc.xr))
        for row in sc.boundary:
            f.write(" ".join(repr(v) for v in row) + "\n")
    with open(p(folder, "run.t"), "w") as f:
        f.write("0.0\n" + "".join("%r\n" % t for t in sc.outputs))
    with open(p(folder, "run.drv"), "w") as f:
        for row in sc.driver:
            f.write(" ".join(repr(v) for v in row) + "\n")
    open(p(folder, "run.UT0"), "w").close()
    if sc.geometry is not None:
        with open(p(folder, "run.geo"), "w") as f:
            f.write("channel\n")
            for row in sc.geometry:
                f.write(" ".join(repr(v) for v in row) + "\n")


def cpu_children():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def run_qz5(exe, sc, folder, npts, rtol, atol, tau, kappa, alpha, extra):
    write_qz5_files(sc, folder, npts, rtol, atol, tau, kappa, alpha)
    args = [exe, "--no-legacy-limits"]
    if sc.geometry is not None:
        args += ["--geometry", "run.geo"]
    if sc.free_outflow:
        args += ["--outflow", "free"]
    if sc.stations:
        # Sampled after every accepted step: the series the gauges would record.
        args += ["--stations", ",".join(repr(x) for x in sc.stations), "--stations-csv", "st.csv"]
    args += extra + ["run.fn"]
    before = cpu_children()
    done = subprocess.run(args, cwd=folder, capture_output=True, text=True)
    cpu = cpu_children() - before
    ok = done.stdout.strip().endswith("Ready")
    steps = None
    try:
        with open(os.path.join(folder, "RESULT")) as f:
            for line in f:
                if "STEPS" in line:
                    steps = int(line.split(":")[1].split()[0])
    except (OSError, ValueError, IndexError):
        pass
    if not ok:
        return None, cpu, steps
    data = np.loadtxt(os.path.join(folder, "run.txc"))
    # One block of npts rows per output time, the start first (times are
    # written rounded, so the blocks are taken in order).
    blocks = data.reshape(-1, npts, data.shape[1])[1:]
    profiles = [(b[:, 1], b[:, 2:2 + NCOMP].T) for b in blocks]
    if len(profiles) != len(sc.outputs):
        return None, cpu, steps
    if sc.stations:
        st = np.loadtxt(os.path.join(folder, "st.csv"), delimiter=",", skiprows=1)
        series = [(st[st[:, 1] == x][:, 0], st[st[:, 1] == x][:, 2]) for x in sc.stations]
        return (profiles, series), cpu, steps
    return profiles, cpu, steps


# --------------------------------------------------------------------------
# The peer: the same equations on a fixed grid.

class Table:
    """Rows (time, values...) interpolated linearly in time; at a repeated time the
    later row holds, as qz5's series look-up does."""

    def __init__(self, rows):
        self.times = np.array([r[0] for r in rows], dtype=float)
        self.vals = np.array([r[1:] for r in rows], dtype=float)
        self.last = len(rows) - 2

    def __call__(self, t):
        i = int(np.searchsorted(self.times, t, side="right")) - 1
        i = min(max(i, 0), self.last)
        t0, t1 = self.times[i], self.times[i + 1]
        f = 0.0 if t1 == t0 else min(max((t - t0) / (t1 - t0), 0.0), 1.0)
        return (self.vals[i + 1] - self.vals[i]) * f + self.vals[i]


def kinetics(P, c):
    """Reaction rates of the six pools (per day), vectorised over positions: c[m] arrays."""
    p = lambda k: P[k - 1]
    c2, c3, c4, c5, c6 = c[1], c[2], c[3], c[4], c[5]
    f = min(p(13) / (p(14) * p(7)), 1.0)
    g3 = (c3 * p(1)) / (c3 + p(3))
    h3 = c3 / (c3 + p(11))
    g2 = (c2 * p(6)) / (c2 + p(10))
    g25 = (((1.0 - f) * h3) + f) * g2
    g4 = (p(5) * c4) / (p(9) + c4)
    rx = np.empty_like(c)
    rx[0] = 0.0
    rx[1] = (((p(12) * p(16)) - (g25 / p(7))) * c5 + (p(4) * p(15)) * c4) + p(19) * c6
    e = (-1.0 / p(14)) + (1.0 / p(13))
    rx[2] = ((((((1.0 / (p(14) * p(7))) - (1.0 / p(13))) * g25 + p(12) * e) * c5 +
               ((p(18) * c6) / p(14)) * p(17)) +
              ((((1.0 / p(8)) - 1.0) * g4) * c5) / p(13)) - (g3 * c4) / p(13)) + (p(4) * e) * c4
    rx[3] = ((g3 - p(4)) * c4) - ((g4 * c5) / p(8))
    rx[4] = ((g4 - p(12)) + g25) * c5
    rx[5] = (((1.0 - p(16)) * p(12)) * c5 + ((1.0 - p(15)) * p(4)) * c4) - ((p(19) + p(18)) * c6)
    return rx


class Peer:
    """The equations on a fixed uniform grid of n points. The state is stored point
    after point (the NCOMP values of a point together), so the Jacobian is banded
    with half-bandwidth 2*NCOMP - 1."""

    def __init__(self, sc, n):
        self.sc = sc
        self.x = np.linspace(sc.xl, sc.xr, n)
        self.h = np.diff(self.x)
        self.xi = 0.5 * (self.x[:-1] + self.x[1:])
        if sc.geometry is None:
            A = self.xi ** 2 * 3.4e-06 + 17.0
            D = ((5000.0 * 1.36e6) / ((23330.0 - self.xi) + 5000.0)) / 86400.0 * 86400.0
        else:
            g = np.array(sc.geometry)
            A = np.interp(self.xi, g[:, 0], g[:, 1])
            D = np.interp(self.xi, g[:, 0], g[:, 2])
        self.A, self.AD = A, A * D
        self.driver = Table(sc.driver)
        self.boundary = Table(sc.boundary)
        self.clat = Table(sc.lateral["table"])
        self.nlat = len(sc.lateral["x"])
        # The lateral flow and the shape of the lateral loads depend on the
        # position alone; the driver and the inputs' concentrations scale them.
        xs = np.concatenate([self.xi, [sc.xl, sc.xr]])
        xl, ql, kl = np.array(sc.lateral["x"]), np.array(sc.lateral["q"]), sc.lateral["k"]
        e = np.exp(np.clip(-(xs[None, :] - xl[:, None]) * kl, -KMAX_EXPONENT, KMAX_EXPONENT))
        d = 1.0 + e
        flow = (ql[:, None] / d).sum(axis=0)
        self.flow, self.flow_left, self.flow_right = flow[:-2], flow[-2], flow[-1]
        self.load_shape = ((ql[:, None] * e) * kl / d ** 2)[:, :-2]  # nlat x intervals
        self.wl = 0.5 * self.h  # WL = WR = h/2 on a fixed grid
        den = np.empty(n)
        den[0] = self.wl[0] * A[0]
        den[1:-1] = self.wl[:-1] * A[:-1] + self.wl[1:] * A[1:]
        den[-1] = self.wl[-1] * A[-1]
        self.n = n
        self.m = n if sc.free_outflow else n - 1  # points with an unknown
        self.den = den[:self.m]
        self.u = np.empty((NCOMP, n))

    def rhs(self, t, y):
        m = self.m
        u = self.u
        u[:, :m] = y.reshape(m, NCOMP).T
        bnd = self.boundary(t)
        if not self.sc.free_outflow:  # the last point holds the second boundary's values
            u[:, -1] = bnd[NCOMP:2 * NCOMP]
        s = self.driver(t)[0]
        ql = self.flow * s
        sl = (self.clat(t).reshape(NCOMP, self.nlat) @ self.load_shape) * s
        U = 0.5 * (u[:, :-1] + u[:, 1:])
        UX = (u[:, 1:] - u[:, :-1]) / self.h
        R = ql * U - self.AD * UX
        Q = kinetics(self.sc.rxpar, U) * self.A + sl
        num = np.empty((NCOMP, self.n))
        WQ = self.wl * Q
        num[:, 1:-1] = WQ[:, :-1] + WQ[:, 1:] - (R[:, 1:] - R[:, :-1])
        num[:, 0] = WQ[:, 0] - R[:, 0] + bnd[0:NCOMP] * (self.flow_left * s)
        if self.sc.free_outflow:
            num[:, -1] = WQ[:, -1] + R[:, -1] - (self.flow_right * s) * u[:, -1]
        return (num[:, :m] / self.den).T.ravel()

    def solve(self, method, rtol, atol):
        m = self.m
        u0 = self.sc.initial(self.x)[:, :m].T.ravel()
        if method == "LSODA":
            kw = {"lband": 2 * NCOMP - 1, "uband": 2 * NCOMP - 1}
        else:
            kw = {"jac_sparsity": self.band_sparsity(m)}
        if self.sc.max_step is not None:
            kw["max_step"] = self.sc.max_step
        start = time.process_time()
        sol = solve_ivp(self.rhs, (0.0, self.sc.t_end), u0, method=method, t_eval=self.sc.outputs,
                        rtol=rtol, atol=atol, **kw)
        cpu = time.process_time() - start
        if sol.status != 0 or sol.y.shape[1] != len(self.sc.outputs):
            return None, cpu, None
        profiles = []
        for j, t in enumerate(self.sc.outputs):
            u = np.empty((NCOMP, self.n))
            u[:, :m] = sol.y[:, j].reshape(m, NCOMP).T
            if not self.sc.free_outflow:
                u[:, -1] = self.boundary(t)[NCOMP:2 * NCOMP]
            profiles.append((self.x, u))
        return profiles, cpu, sol.nfev

    def station_series(self, method, rtol, atol, every=30.0 / 86400.0):
        """The first constituent at the scenario's stations, sampled every `every`
        days from the solver's dense output (a run of its own, not timed)."""
        m = self.m
        u0 = self.sc.initial(self.x)[:, :m].T.ravel()
        kw = {"lband": 2 * NCOMP - 1, "uband": 2 * NCOMP - 1} if method == "LSODA" else \
            {"jac_sparsity": self.band_sparsity(m)}
        if self.sc.max_step is not None:
            kw["max_step"] = self.sc.max_step
        times = np.arange(0.0, self.sc.t_end, every)
        sol = solve_ivp(self.rhs, (0.0, self.sc.t_end), u0, method=method, t_eval=times,
                        rtol=rtol, atol=atol, **kw)
        if sol.status != 0:
            return None
        first = sol.y[0::NCOMP, :]  # the first constituent at every point with an unknown
        if not self.sc.free_outflow:
            last = np.array([self.boundary(t)[NCOMP] for t in sol.t])
            first = np.vstack([first, last[None, :]])
        return [(sol.t, np.array([np.interp(xs, self.x, first[:, j]) for j in range(len(sol.t))]))
                for xs in self.sc.stations]

    @staticmethod
    def band_sparsity(m):
        size = NCOMP * m
        width = 2 * NCOMP - 1
        return diags([np.ones(size - abs(k)) for k in range(-width, width + 1)],
                     list(range(-width, width + 1)), shape=(size, size), format="csc")


# --------------------------------------------------------------------------

def error_of(profiles, reference, ranges):
    worst = 0.0
    for (x, u), (xr, ur) in zip(profiles, reference):
        for m in range(NCOMP):
            if ranges[m] <= 0.0:
                continue
            ref = np.interp(x, xr, ur[m])
            worst = max(worst, float(np.max(np.abs(u[m] - ref))) / ranges[m])
    return worst


def peak_and_arrival(t, c):
    """The peak of a gauge's series (a parabola through the highest sample and its
    neighbours) and the arrival: the first time the series reaches half the
    peak (linear between samples)."""
    i = int(np.argmax(c))
    peak = float(c[i])
    if 0 < i < len(c) - 1:
        a, b, _ = np.polyfit(t[i - 1:i + 2] - t[i], c[i - 1:i + 2], 2)
        if a < 0.0:
            peak = float(np.polyval([a, b, c[i]], -b / (2.0 * a)))
            peak = max(peak, float(c[i]))
    half = 0.5 * peak
    j = int(np.argmax(c >= half))
    arrival = float(t[j - 1] + (half - c[j - 1]) * (t[j] - t[j - 1]) / (c[j] - c[j - 1])) \
        if j > 0 else float(t[0])
    return peak, arrival


def station_errors(series, reference, start):
    """Worst relative error of the peak, and of the arrival counted from the pulse's
    start, over the stations."""
    worst_peak = worst_arrival = 0.0
    for (t, c), (tr, cr) in zip(series, reference):
        p, a = peak_and_arrival(t, c)
        pr, ar = peak_and_arrival(tr, cr)
        worst_peak = max(worst_peak, abs(p - pr) / pr)
        worst_arrival = max(worst_arrival, abs(a - ar) / (ar - start))
    return worst_peak, worst_arrival


def ranges_of(reference):
    lo = np.min([u.min(axis=1) for _, u in reference], axis=0)
    hi = np.max([u.max(axis=1) for _, u in reference], axis=0)
    return hi - lo


def usable(r):
    # A run whose error is as large as the range lost the solution (a peer
    # that stepped over the pulse, say): a failure, not a cheap point.
    return r["error"] is not None and r["error"] < 0.5


def cost_at(points, level):
    """CPU time at an error level along a solver's lower envelope: the cheapest run
    that reaches the level, interpolated in log-log towards the nearest cheaper run
    that misses it. None when no run reaches the level."""
    meeting = [(c, e) for e, c in points if e <= level]
    if not meeting:
        return None
    cb, eb = min(meeting)
    cheaper = sorted((e, c) for e, c in points if e > level and c < cb)
    if not cheaper or eb <= 0.0:
        return cb
    ea, ca = cheaper[0]
    w = (math.log(level) - math.log(eb)) / (math.log(ea) - math.log(eb))
    return math.exp(math.log(cb) + w * (math.log(ca) - math.log(cb)))


def speedup_at(rows, level):
    """qz5's speed-up over the fastest peer at an error level (None where either does
    not reach it), with both costs."""
    groups = {}
    for r in rows:
        if usable(r):
            groups.setdefault(r["solver"], []).append((r["error"], r["cpu"]))
    q = cost_at(groups.get("qz5", []), level)
    peers = [cost_at(v, level) for k, v in groups.items() if k != "qz5"]
    peers = [p for p in peers if p is not None]
    best = min(peers) if peers else None
    if q is None or best is None:
        return None, q, best
    return best / q, q, best


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--qz5", default=os.path.join(here, "..", "build", "qz5"))
    ap.add_argument("--out", default=os.path.join(here, "results"))
    ap.add_argument("--scenario", default="both")
    ap.add_argument("--quick", action="store_true", help="a two-run smoke test")
    ap.add_argument("--qz5-jacobian", default="exact", choices=("exact", "differences"),
                    help="qz5's iteration matrix (default: exact, the faster and, on fine "
                         "grids with fronts, the one that does not crawl)")
    args = ap.parse_args()
    exe = os.path.abspath(args.qz5)
    os.makedirs(args.out, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="qz5_wp_")
    chosen = {"reacting": [reacting()], "slug": [slug()],
              "both": [reacting(), slug()]}[args.scenario]
    summary = {}
    try:
        for sc in chosen:
            if args.quick:
                ref_n, ref_tol = 321, 1e-7
                q_runs = [(41, 1e-4)]
                p_runs = [(41, 1e-5), (81, 1e-5)]
            elif sc.name == "reacting":
                ref_n, ref_tol = 2001, 1e-10
                q_runs = [(n, tol) for n in (21, 41, 81) for tol in (1e-3, 1e-4, 1e-5)]
                # Finer grids: qz5 must converge to the peer's reference, or the
                # two would not be solving the same equations.
                q_runs += [(161, 1e-6), (321, 1e-7), (641, 1e-7)]
                # On fine grids a higher monitor floor spreads the points more
                # evenly and lowers the error at the head's boundary point
                # (on coarse grids it costs accuracy): ALPHA 1e-3.
                q_runs += [(n, 1e-5, 1e-3) for n in (321, 401, 481, 641)]
                p_runs = [(n, tol) for n in (41, 81, 161, 321) for tol in (1e-4, 1e-6)]
                p_runs += [(641, 1e-6)]
            else:
                ref_n, ref_tol = 2001, 1e-9
                # RTOL 1e-4 suffices: the error is the grid's, not the integrator's.
                q_runs = [(n, tol) for n in (60, 100, 140, 200, 300) for tol in (1e-4, 1e-5)]
                p_runs = [(n, tol) for n in (201, 401, 801, 1201) for tol in (1e-5, 1e-6)]
            t0 = time.time()
            reference, _, _ = Peer(sc, ref_n).solve("BDF", ref_tol, ref_tol * 1e-2)
            ref_series = Peer(sc, ref_n).station_series("BDF", ref_tol, ref_tol * 1e-2) \
                if sc.stations else None
            print("%s: reference on %d points in %.1f s" % (sc.name, ref_n, time.time() - t0),
                  flush=True)
            ranges = ranges_of(reference)
            # qz5's moving-grid settings: the scenario's own for the smooth case; for
            # the fronts a grid that follows them (KAPPA 8, ALPHA 1e-5, TAU 1e-5).
            tau, kappa, alpha = (0.05, 2.0, 1e-5) if sc.name == "reacting" else (1e-5, 8.0, 1e-5)
            rows = []
            jobs = [("qz5", r[0], r[1], r[2] if len(r) > 2 else alpha) for r in q_runs]
            for n, tol in p_runs:
                jobs += [("LSODA", n, tol, None), ("BDF", n, tol, None)]
            # Alternate the solvers: qz5, LSODA, BDF, qz5, ...
            order = []
            queues = {s: [j for j in jobs if j[0] == s] for s in ("qz5", "LSODA", "BDF")}
            while any(queues.values()):
                for s in ("qz5", "LSODA", "BDF"):
                    if queues[s]:
                        order.append(queues[s].pop(0))
            for solver, n, tol, run_alpha in order:
                if solver == "qz5":
                    prof, cpu, steps = run_qz5(exe, sc, os.path.join(scratch, "%s_%d" % (sc.name, n)),
                                               n, tol, 1e-3 * tol / 1e-4 if sc.name == "reacting"
                                               else tol * 1e-2, tau, kappa, run_alpha,
                                               ["--jacobian", args.qz5_jacobian])
                    work = steps
                    series = None
                    if prof is not None and sc.stations:
                        prof, series = prof
                else:
                    prof, cpu, work = Peer(sc, n).solve(solver, tol, tol * 1e-2)
                    series = Peer(sc, n).station_series(solver, tol, tol * 1e-2) \
                        if prof is not None and sc.stations else None
                err = error_of(prof, reference, ranges) if prof is not None else None
                row = {"solver": solver, "points": n, "rtol": tol, "cpu": cpu,
                       "error": err, "work": work,
                       "alpha": run_alpha if run_alpha is not None else ""}
                if sc.stations:
                    row["peak_error"], row["arrival_error"] = \
                        station_errors(series, ref_series, sc.pulse_start) if series else (None, None)
                rows.append(row)
                print("  %-5s %5d pts rtol %.0e%s: cpu %.3f s, error %s%s" %
                      (solver, n, tol, " ALPHA %g" % run_alpha if run_alpha not in (None, alpha)
                       else "", cpu, "%.3e" % err if err is not None else "failed",
                       ", peak %.2e, arrival %.2e" % (row["peak_error"], row["arrival_error"])
                       if sc.stations and series else ""),
                      flush=True)
            with open(os.path.join(args.out, sc.name + ".csv"), "w", newline="") as f:
                w = csv.DictWriter(f, fieldnames=list(rows[0].keys()))
                w.writeheader()
                w.writerows(rows)
            lines = ["# %s: %s" % (sc.name, sc.npts_note), "",
                     "qz5: --jacobian %s, TAU %g, KAPPA %g, ALPHA %g." % (
                         args.qz5_jacobian, tau, kappa, alpha), ""]
            head = "| solver | points | rtol | CPU s | error (of range) | steps / fevals |"
            if sc.stations:
                head += " peak error | arrival error |"
                lines += ["Peak and arrival: the worst relative error over the gauges at %s m "
                          "(peak: of its value; arrival, the time of half the peak: of the time "
                          "since the pulse started)." % ", ".join("%g" % x for x in sc.stations), ""]
            lines += [head, "|" + "---|" * (head.count("|") - 1)]
            fmt = lambda v: "%.2e" % v if v is not None else "failed"
            for r in sorted(rows, key=lambda r: (r["solver"], r["points"], r["rtol"],
                                                 str(r["alpha"]))):
                label = r["solver"] + (" ALPHA %g" % r["alpha"]
                                       if r["alpha"] not in ("", alpha) else "")
                line = "| %s | %d | %.0e | %.3f | %s | %s |" % (
                    label, r["points"], r["rtol"], r["cpu"], fmt(r["error"]), r["work"])
                if sc.stations:
                    line += " %s | %s |" % (fmt(r["peak_error"]), fmt(r["arrival_error"]))
                lines.append(line)
            lines.append("")
            for level in ((1e-2, 3e-3, 1e-3) if sc.name == "slug" else (1e-2, 1e-3)):
                s, q, p = speedup_at(rows, level)
                lines.append("- at %g %% error: qz5 %s s, fastest peer %s s, ratio %s" % (
                    level * 100, "%.3f" % q if q else "-", "%.3f" % p if p else "-",
                    "%.2f" % s if s else "not reached by both"))
            with open(os.path.join(args.out, sc.name + ".md"), "w") as f:
                f.write("\n".join(lines) + "\n")
            print("\n".join(lines))
            summary[sc.name] = rows
        for name in ("reacting", "slug"):
            path = os.path.join(args.out, name + ".csv")
            if name not in summary and os.path.exists(path):
                with open(path) as f:
                    summary[name] = [{"solver": r["solver"], "points": int(r["points"]),
                                      "rtol": float(r["rtol"]), "cpu": float(r["cpu"]),
                                      "error": float(r["error"]) if r["error"] else None,
                                      "work": r["work"]} for r in csv.DictReader(f)]
        plot({k: summary[k] for k in ("reacting", "slug") if k in summary},
             os.path.join(args.out, "work_precision.png"))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def plot(summary, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, axes = plt.subplots(1, len(summary), figsize=(6 * len(summary), 4.5), squeeze=False)
    style = {"qz5": ("o-", "C0"), "LSODA": ("s--", "C1"), "BDF": ("^:", "C2")}
    for ax, (name, rows) in zip(axes[0], summary.items()):
        for solver, (marker, colour) in style.items():
            pts = sorted((r["error"], r["cpu"], r["points"]) for r in rows
                         if r["solver"] == solver and usable(r))
            if not pts:
                continue
            ax.loglog([p[0] for p in pts], [p[1] for p in pts], marker[0], color=colour,
                      label=solver)
            for e, c, n in pts:
                ax.annotate(str(n), (e, c), fontsize=7, textcoords="offset points", xytext=(3, 3))
        ax.axvline(1e-2, color="grey", lw=0.5)
        ax.axvline(1e-3 if name == "reacting" else 3e-3, color="grey", lw=0.5)
        ax.set_xlabel("worst error, fraction of each constituent's range")
        ax.set_ylabel("CPU time, s")
        ax.set_title("%s (labels: grid points)" % name)
        ax.legend()
    fig.tight_layout()
    fig.savefig(path, dpi=110)


if __name__ == "__main__":
    sys.exit(main())
