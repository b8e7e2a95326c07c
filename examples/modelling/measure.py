"""Measurements and figures for examples/modelling/README.md.

    PYTHONPATH=build/python MPLBACKEND=Agg /usr/bin/python3 examples/modelling/measure.py [part ...]

Parts: lateral, head, grid (with grid_figure), grid_figure, steps (default:
all but grid_figure). Prints the tables of the
README and writes its figures beside this file.
"""
import pathlib
import sys
import time

import numpy as np

import qz5

HERE = pathlib.Path(__file__).resolve().parent
EXAMPLES = HERE.parent


def logistic(z):
    return 1.0 / (1.0 + np.exp(-np.clip(z, -300, 300)))


# --- lateral inputs ------------------------------------------------------

def midpoint_share(kh, offset):
    """What the scheme's midpoint sampling delivers of one input, on a
    uniform grid of spacing h with k h = kh, the input `offset` spacings
    past a grid point: sum over intervals of h g(midpoint) / q, where g =
    q k e / (1 + e)^2 is the input's flow per unit length."""
    i = np.arange(-400, 401)
    z = kh * (i + 0.5 - offset)          # k (X_mid - x_lat)
    e = np.exp(-np.clip(z, -300, 300))
    return float(np.sum(kh * e / (1.0 + e) ** 2))


def lateral():
    import matplotlib.pyplot as plt

    print("midpoint sampling of a logistic input: delivered / specified, over the input's place")
    khs = np.linspace(0.05, 6.5, 130)
    lo, hi = [], []
    for kh in khs:
        v = [midpoint_share(kh, f) for f in np.linspace(0, 1, 41)]
        lo.append(min(v))
        hi.append(max(v))
    for kh in (0.25, 0.5, 1.0, 2.0, 3.0, 5.0):
        v = [midpoint_share(kh, f) for f in np.linspace(0, 1, 41)]
        print(f"  k_lat*h = {kh:4.2f} (1/k_lat = {1/kh:4.2f} h): {min(v):.4f} .. {max(v):.4f}")

    # The river example: the outfall's DIN load delivered by the scheme
    # (the budget's lateral_load) against the load the inputs specify
    # inside the reach, sum of c q (sigma(k (X_R - x)) - sigma(k (X_L - x))).
    rows = []
    base = qz5.Scenario.from_names_file(EXAMPLES / "river" / "river.fn")
    base.geometry = np.loadtxt(EXAMPLES / "river" / "river.geo", skiprows=1)
    base.outflow = "free"
    for npts in (21, 31, 61, 121):
        for k_lat in (0.01, 0.002):
            s = base.copy()
            s.npts, s.k_lat = npts, k_lat
            ds = qz5.run(s, budget=True)
            delivered = float(qz5.budget_term(ds, "c3", "lateral_load").sum())
            span = float(ds.time[-1] - ds.time[0])
            xl, xr = s.xbnd
            c = {0: 40.0, 1: 2500.0}   # DIN of the river and of the outfall
            specified = sum(c[l] * s.q_lat[l] * (logistic(k_lat * (xr - s.x_lat[l]))
                                                 - logistic(k_lat * (xl - s.x_lat[l])))
                            for l in range(2)) * span
            h = (xr - xl) / (npts - 1)
            xs = ds.x.isel(time=-1).values
            near = np.diff(xs)[np.searchsorted(xs, 5000.0) - 1]
            rows.append((npts, k_lat, h, near, delivered / specified - 1.0))
            print(f"  river, {npts:3d} points (h {h:5.0f} m, {near:5.0f} m at the outfall on day 10),"
                  f" 1/k_lat {1/k_lat:4.0f} m: delivered/specified - 1 = {delivered/specified-1:+.4f}")

    fig, ax = plt.subplots(figsize=(6.4, 3.6))
    ax.fill_between(khs, lo, hi, alpha=0.3, label="midpoint sampling on a fixed uniform grid (range over the input's place)")
    ax.plot(khs, lo, "C0", lw=0.8)
    ax.plot(khs, hi, "C0", lw=0.8)
    for npts, k_lat, h, near, err in rows:
        ax.plot(k_lat * h, 1.0 + err, "o", color="C1" if k_lat == 0.01 else "C2")
    ax.plot([], [], "o", color="C1", label="river outfall, 1/k_lat = 100 m (spacing at the start)")
    ax.plot([], [], "o", color="C2", label="river outfall, 1/k_lat = 500 m (spacing at the start)")
    ax.axhline(1.0, color="k", lw=0.5)
    ax.set_xlabel("k_lat × grid spacing h")
    ax.set_ylabel("delivered / specified load")
    ax.set_title("A lateral input as the grid receives it")
    ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(HERE / "lateral_load.png", dpi=110)


# --- the upstream boundary -----------------------------------------------

def head():
    print("the first boundary: what enters is CL * QL(head)")
    base = qz5.Scenario.from_names_file(EXAMPLES / "river" / "river.fn")
    base.geometry = np.loadtxt(EXAMPLES / "river" / "river.geo", skiprows=1)
    base.outflow = "free"
    base.npts = 61
    ref = qz5.run(base, budget=True)
    ql = base.q_lat[0] * logistic(base.k_lat * (base.xbnd[0] - base.x_lat[0])) \
        + base.q_lat[1] * logistic(base.k_lat * (base.xbnd[0] - base.x_lat[1]))
    span = float(ref.time[-1] - ref.time[0])
    inflow = float((qz5.budget_term(ref, "c1", "in_left_advective")
                    + qz5.budget_term(ref, "c1", "in_left_dispersive")).sum())
    print(f"  salinity in through the weir {inflow:.6g}; CL * QL(head) * days = "
          f"{0.2 * ql * span:.6g}; QL(head) / q_river = {ql / base.q_lat[0]:.5f}")
    # The river's own concentration (the input above the weir) hardly
    # matters; the boundary's does.
    for label, change in (("river input's salinity 0.2 -> 2.0", "lat"),
                          ("first boundary's salinity 0.2 -> 2.0", "bnd")):
        s = base.copy()
        if change == "lat":
            tab = np.array(s.lat_tab)
            tab[:, 1] = 2.0          # constituent 1 at input 1
            s.lat_tab = tab
        else:
            tab = np.array(s.bnd_tab)
            tab[:, 1] = 2.0          # constituent 1 at the first boundary
            s.bnd_tab = tab
        ds = qz5.run(s)
        print(f"  {label}: salinity at the weir {float(ds.c1.isel(time=-1, point=0)):.4f},"
              f" at 3 km {float(np.interp(3000, ds.x.isel(time=-1), ds.c1.isel(time=-1))):.4f}"
              f" (base {float(ref.c1.isel(time=-1, point=0)):.4f},"
              f" {float(np.interp(3000, ref.x.isel(time=-1), ref.c1.isel(time=-1))):.4f})")
    for d in (500.0, 1000.0, 3000.0):
        for k in (0.01, 0.002):
            print(f"  input {d:5.0f} m above the head, 1/k_lat {1/k:4.0f} m: share entering "
                  f"inside the reach {1 - logistic(k * d):.2e}")


# --- the grid parameters -------------------------------------------------

def front_scenario():
    """The river reach with a twentieth of its dispersion, at 41 points,
    and a step of the tracer at the weir at day 0.1 (0.2 -> 200, large
    enough against the other constituents for the grid monitor to see it; the
    monitor sums the squared slopes of all constituents): a sharp
    front that crosses the reach at about 20 km a day."""
    s = qz5.Scenario.from_names_file(EXAMPLES / "river" / "river.fn")
    geo = np.loadtxt(EXAMPLES / "river" / "river.geo", skiprows=1)
    geo[:, 2] /= 20.0
    s.geometry = geo
    s.outflow = "free"
    s.npts = 41
    tab = np.array(s.bnd_tab)
    rows = [tab[0].copy(), tab[0].copy(), tab[0].copy(), tab[-1].copy()]
    rows[1][0], rows[2][0] = 0.1, 0.1001
    rows[2][1] = rows[3][1] = 200.0
    s.bnd_tab = np.array(rows)
    s.touts = np.array([0.2, 0.3, 0.4])
    return s


def estuary_scenario():
    s = qz5.Scenario.from_names_file(EXAMPLES / "estuary" / "estuary.fn")
    s.touts = np.arange(4.0, 41.0, 4.0)
    return s


def error(ds, ref, k):
    """Largest difference at the last time, the run's profile interpolated
    to the reference's points, relative to the reference's range: of
    constituent k, or with k = None the largest over all constituents."""
    ks = range(1, 7) if k is None else [k]
    worst = 0.0
    for kk in ks:
        x, c = ds.x.isel(time=-1).values, ds[f"c{kk}"].isel(time=-1).values
        xr, cr = ref.x.isel(time=-1).values, ref[f"c{kk}"].isel(time=-1).values
        worst = max(worst, float(np.max(np.abs(np.interp(xr, x, c) - cr)) / (cr.max() - cr.min())))
    return worst


def timed(s, **kw):
    t0 = time.process_time()
    ds = qz5.run(s, raise_on_failure=False, **kw)
    return ds, time.process_time() - t0


def sweep(name, s, k, ref, values, key):
    out = []
    for v in values:
        ds, cpu = timed(s, **{key: v})
        ok = ds.attrs["status"] == "complete"
        dx = np.diff(ds.x.isel(time=-1).values)
        out.append((v, ds.attrs["integrator_steps"], cpu, error(ds, ref, k) if ok else np.nan,
                    dx.min(), dx.max(), ok))
        print(f"  {name} {key.upper()} {v:g}: steps {out[-1][1]}, CPU {cpu:.2f} s, "
              f"error {out[-1][3]:.2e}, spacing {dx.min():.0f}..{dx.max():.0f} m"
              + ("" if ok else f"  [{ds.attrs.get('failure_message', '')[:60]}]"))
    return out


def grid():
    cases = {}
    est = estuary_scenario()
    fine = est.copy()
    fine.npts, fine.use_ut0 = 321, False
    # The reference starts from the bundled profile interpolated to 321 points.
    x0 = np.linspace(est.xbnd[0], est.xbnd[1], est.npts)
    xf = np.linspace(est.xbnd[0], est.xbnd[1], 321)
    ut0 = np.array(est.ut0_tab)
    fine.ut0_tab = np.column_stack([np.interp(xf, x0, ut0[:, j]) for j in range(ut0.shape[1])])
    fine.use_ut0 = True
    ref_est = qz5.run(fine, rtol=1e-7, atol=1e-5, tau=est.tau)
    cases["estuary"] = (est, None, ref_est, est.tau, est.kappa, est.alpha)
    fr = front_scenario()
    ref_fr = qz5.run(fr.with_values({"npts": 321}), rtol=1e-7, atol=1e-6)
    cases["front"] = (fr, 1, ref_fr, fr.tau, fr.kappa, fr.alpha)
    results = {}
    for name, (s, k, ref, tau, kappa, alpha) in cases.items():
        print(f"{name}: TAU {tau:g}, KAPPA {kappa:g}, ALPHA {alpha:g} as given")
        results[name] = {
            "tau": sweep(name, s, k, ref, [tau * f for f in (0.01, 0.1, 1, 10, 100)], "tau"),
            "kappa": sweep(name, s, k, ref, [0.25, 0.5, 1.0, 2.0, 5.0, 10.0], "kappa"),
            "alpha": sweep(name, s, k, ref, [1e-9, 1e-7, 1e-5, 1e-3, 1e-1, 10.0], "alpha"),
        }
    grid_figure()
    return results


def grid_figure():
    """Trajectories of the grid for the front, three values of each."""
    import matplotlib.pyplot as plt

    fr = front_scenario()
    fr.touts = np.linspace(0.01, 0.4, 40)
    fig, axes = plt.subplots(3, 3, figsize=(9, 7.5), sharex=True, sharey=True)
    for row, (key, values) in zip(axes, (("tau", (0.0005, 0.05, 5.0)),
                                         ("kappa", (0.5, 2.0, 10.0)),
                                         ("alpha", (1e-9, 1e-5, 1e-1)))):
        for ax, v in zip(row, values):
            ds = qz5.run(fr, **{key: v})
            t = ds.time.values
            ax.plot(ds.x.values, t, color="C0", lw=0.5)
            # Where the tracer passes 100 (half the step): the front.
            front = [np.interp(-100.0, -ds.c1.values[i], ds.x.values[i])
                     if ds.c1.values[i].max() > 100 else np.nan for i in range(len(t))]
            ax.plot(front, t, color="C3", lw=1.5)
            ax.set_title(f"{key.upper()} = {v:g}", fontsize=9)
    for ax in axes[-1]:
        ax.set_xlabel("position (m)")
    for ax in axes[:, 0]:
        ax.set_ylabel("time (days)")
    fig.suptitle("Grid points (blue) and the front (red) of the sharp-front run, 41 points;\n"
                 "in each row one parameter varies, the others as given (TAU 0.05, KAPPA 2, "
                 "ALPHA 1e-5)", fontsize=10)
    fig.tight_layout()
    fig.savefig(HERE / "grid_parameters.png", dpi=80)


def steps():
    print("the step limit counts accepted steps per output interval")
    s = estuary_scenario()
    for limit in (50, 120):
        ds = qz5.run(s, max_steps_per_interval=limit, raise_on_failure=False)
        print(f"  --max-steps {limit}: status {ds.attrs['status']}, outputs done "
              f"{ds.attrs['outputs_done']} of {len(s.touts)}, t reached {ds.attrs['t_reached']:g},"
              f" steps {ds.attrs['integrator_steps']}")


if __name__ == "__main__":
    parts = sys.argv[1:] or ["lateral", "head", "grid", "steps"]
    for p in parts:
        globals()[p]()
