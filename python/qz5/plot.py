"""Figures of a run: profiles, the moving grid, station series, mass budget.

Each function takes a run's Dataset (from :func:`qz5.run`, or a NetCDF file
opened with ``xr.open_dataset(path, decode_times=False)``) and returns a
matplotlib Figure whose axes carry the variables' names and units and whose
title names the run. :func:`save_all` writes every figure the Dataset has
data for as PNG and SVG; ``python3 -m qz5 plot RUN.nc`` does the same from
the command line.
"""
import os

import numpy as np

from .results import budget_term

# Terms of the budget as contributions to the change of the mass in the
# reach: what crosses the first end in the +X direction and what the
# lateral inputs and reactions add count as they are, what crosses the
# second end in the +X direction counts against.
_TERMS = [("in_left_advective", "first end, advection", 1.0),
          ("in_left_dispersive", "first end, dispersion", 1.0),
          ("out_right_advective", "second end, advection", -1.0),
          ("out_right_dispersive", "second end, dispersion", -1.0),
          ("lateral_load", "lateral inputs", 1.0),
          ("reaction", "reactions", 1.0)]


def _plt():
    import matplotlib

    if not os.environ.get("MPLBACKEND"):
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    return plt


def constituents(ds):
    """The constituents' variable names, in order (those on (time, point))."""
    names = []
    for name, v in ds.data_vars.items():
        if v.dims[-2:] == ("time", "point") and name != "x":
            names.append(name)
    return names


def run_name(ds):
    """The run's title and the names file it came from, for figure titles."""
    title = str(ds.attrs.get("title", "qz5 run")).strip()
    names = ds.attrs.get("input_names")
    return f"{title} ({os.path.basename(str(names))})" if names else title


def label(var, fallback):
    long_name = var.attrs.get("long_name", fallback)
    units = var.attrs.get("units")
    return f"{long_name} ({units})" if units else long_name


def _grid_of_axes(n, plt, width=5.2, height=3.4, constrained=True):
    cols = 2 if n > 1 else 1
    rows = (n + cols - 1) // cols
    fig, axes = plt.subplots(rows, cols, figsize=(width * cols, height * rows + 0.8),
                             squeeze=False, constrained_layout=constrained)
    for ax in axes.flat[n:]:
        ax.set_visible(False)
    return fig, list(axes.flat[:n])


def _one_member(ds, member):
    if "member" in ds.dims:
        return ds.isel(member=member) if member is not None else ds.isel(member=0)
    return ds


def profiles(ds, times=None, names=None, member=None):
    """Each constituent along the channel at chosen output times (days; by
    default five spread over the run), on the grid's own positions."""
    plt = _plt()
    ds = _one_member(ds, member)
    names = names or constituents(ds)
    all_times = ds.time.values
    if times is None:
        idx = np.unique(np.linspace(0, len(all_times) - 1, min(5, len(all_times))).round().astype(int))
    else:
        idx = [int(np.argmin(np.abs(all_times - t))) for t in np.atleast_1d(times)]
    fig, axes = _grid_of_axes(len(names), plt)
    colours = plt.cm.viridis(np.linspace(0, 0.9, len(idx)))
    for ax, name in zip(axes, names):
        for colour, i in zip(colours, idx):
            ax.plot(ds.x.values[i], ds[name].values[i], color=colour, lw=1.4,
                    label=f"{all_times[i]:g} {ds.time.attrs.get('units', 'days')}")
        ax.set_xlabel(label(ds.x, "position"))
        ax.set_ylabel(label(ds[name], name))
        ax.set_title(name)
        ax.grid(alpha=0.3)
    axes[0].legend(title=ds.time.attrs.get("long_name", "time"), fontsize=8, title_fontsize=8)
    fig.suptitle(f"{run_name(ds)}: profiles of the constituents")
    return fig


def sharpest(ds):
    """The constituent with the steepest front: the largest slope along the
    channel relative to its whole range, over the run. (Differences between
    neighbouring points would not do: the moving grid evens them out.)"""
    best, score = None, -1.0
    x = ds.x.values
    length = np.nanmax(x) - np.nanmin(x)
    dx = np.diff(x, axis=-1)
    for name in constituents(ds):
        v = ds[name].values
        span = np.nanmax(v) - np.nanmin(v)
        if not span > 0:
            continue
        with np.errstate(divide="ignore", invalid="ignore"):
            slope = np.abs(np.diff(v, axis=-1) / dx)
        s = np.nanmax(np.where(dx > 0, slope, np.nan)) * length / span
        if s > score:
            best, score = name, s
    return best or constituents(ds)[0]


def grid(ds, background=None, member=None):
    """The trajectories x(t) of the grid points over a constituent's values
    (by default the one with the steepest fronts): how the moving grid
    follows the fronts."""
    plt = _plt()
    ds = _one_member(ds, member)
    name = background or sharpest(ds)
    t = ds.time.values
    x = ds.x.values
    fig, ax = plt.subplots(figsize=(9, 5.5), constrained_layout=True)
    T = np.broadcast_to(t[:, None], x.shape)
    field = ax.contourf(T, x, ds[name].values, levels=30, cmap="cividis", extend="both")
    fig.colorbar(field, ax=ax, label=label(ds[name], name))
    for j in range(x.shape[1]):
        ax.plot(t, x[:, j], color="white", lw=0.6, alpha=0.85)
    ax.plot([], [], color="white", lw=0.6, label="grid points")
    ax.set_xlabel(label(ds.time, "time"))
    ax.set_ylabel(label(ds.x, "position"))
    ax.legend(loc="upper right", facecolor="0.3", labelcolor="white", fontsize=8)
    ax.set_title(f"{run_name(ds)}: moving grid over {ds[name].attrs.get('long_name', name)}")
    return fig


def stations(ds, names=None, member=None):
    """The series of every constituent at each station."""
    plt = _plt()
    ds = _one_member(ds, member)
    names = names or constituents(ds)
    fig, axes = _grid_of_axes(len(names), plt)
    sx = ds.station_x
    for ax, name in zip(axes, names):
        v = ds["station_" + name]
        for i in range(ds.dims["station"]):
            ax.plot(ds.station_time.values, v.values[:, i], lw=1.2,
                    label=f"{sx.values[i]:g} {sx.attrs.get('units', '')}".strip())
        ax.set_xlabel(label(ds.station_time, "time"))
        ax.set_ylabel(label(v, name))
        ax.set_title(name)
        ax.grid(alpha=0.3)
    axes[0].legend(title="station at", fontsize=8, title_fontsize=8)
    fig.suptitle(f"{run_name(ds)}: series at the stations")
    return fig


def budget(ds, names=None, member=None):
    """The mass budget of each constituent as bars per output interval: each
    term's contribution to the change of the mass in the reach (above zero
    it added mass, below it removed mass), stacked, and the change itself as
    a marker; the marker sits at the sum of the bars up to the closing
    error."""
    plt = _plt()
    ds = _one_member(ds, member)
    names = names or [n for n in constituents(ds) if f"budget_{n}" in ds]
    fig, axes = _grid_of_axes(len(names), plt, width=6.0, height=3.6, constrained=False)
    bounds = ds.interval_bounds.values
    centre = bounds.mean(axis=1)
    width = 0.8 * (bounds[:, 1] - bounds[:, 0])
    colours = plt.cm.tab10(np.arange(len(_TERMS)))
    for ax, name in zip(axes, names):
        pos = np.zeros(len(centre))
        neg = np.zeros(len(centre))
        for colour, (term, lab, sign) in zip(colours, _TERMS):
            v = sign * budget_term(ds, name, term).values
            bottom = np.where(v >= 0, pos, neg)
            ax.bar(centre, v, width, bottom=bottom, color=colour, label=lab)
            pos += np.where(v >= 0, v, 0)
            neg += np.where(v < 0, v, 0)
        change = budget_term(ds, name, "change")
        ax.plot(centre, change.values, "k_", ms=9, mew=2, label="change of the mass in the reach")
        ax.axhline(0, color="k", lw=0.5)
        lo, hi = ax.get_ylim()
        ax.set_ylim(lo - 0.04 * (hi - lo), hi + 0.04 * (hi - lo))
        ax.set_xlabel(f"time ({ds.interval.attrs.get('units', 'days')}), "
                      "one bar per output interval")
        ax.set_ylabel(f"mass change per interval ({change.attrs.get('units', '')})")
        ax.set_title(ds[name].attrs.get("long_name", name) if name in ds else name)
        ax.grid(alpha=0.3, axis="y")
    handles, labels = axes[0].get_legend_handles_labels()
    fig.suptitle(f"{run_name(ds)}: mass budget per output interval")
    # The legend below the panels, in a band kept free for it.
    band = 0.9 / fig.get_figheight()
    fig.legend(handles, labels, loc="lower center", ncol=4, fontsize=8, frameon=False)
    fig.tight_layout(rect=(0, band, 1, 1))
    return fig


FIGURES = {"profiles": profiles, "grid": grid, "stations": stations, "budget": budget}


def available(ds):
    """The figures the Dataset has data for."""
    out = ["profiles", "grid"] if "x" in ds else []
    if "station_x" in ds.coords or "station_x" in ds:
        out.append("stations")
    if "interval_bounds" in ds:
        out.append("budget")
    return out


def save_all(ds, out_dir=".", stem="run", formats=("png", "svg"), which=None, times=None,
             names=None, dpi=110):
    """Writes the figures (all available, or those named in ``which``) as
    ``<out_dir>/<stem>_<figure>.<format>``; returns the paths written."""
    plt = _plt()
    os.makedirs(out_dir, exist_ok=True)
    paths = []
    for fig_name in which or available(ds):
        kw = {}
        if fig_name == "profiles":
            kw = {"times": times, "names": names}
        elif fig_name in ("stations", "budget"):
            kw = {"names": names}
        fig = FIGURES[fig_name](ds, **kw)
        for fmt in formats:
            path = os.path.join(out_dir, f"{stem}_{fig_name}.{fmt}")
            fig.savefig(path, dpi=dpi)
            paths.append(path)
        plt.close(fig)
    return paths
