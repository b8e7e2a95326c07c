"""Figures of a run: profiles, the moving grid, station series, mass budget,
model against observations, and the spread of an ensemble.

Every function takes a run's Dataset - from :func:`qz5.run`,
:func:`qz5.ensemble`, :func:`qz5.open_dataset`, or a file opened with plain
``xr.open_dataset(path)``. Axes carry the variables' names and units. Time
axes are drawn in days, unless the run's times are dates: a scenario with a
``reference_date`` writes them as "days since <date>" (CF units), which
``xr.open_dataset`` decodes to ``datetime64``; either form is drawn as dates
(a concise date formatter, so that the labels do not crowd). Times given to
the functions (``times=``, ``time=``, the observations' ``time``) are always
days since that reference date, as in the input files.

Each function draws into the matplotlib Axes given as ``ax`` (one Axes, or
one per panel for the functions that draw one panel per constituent), or
into a new figure when ``ax`` is None, and returns the Axes it drew on;
``axes[0].figure`` is the figure. The library never chooses a matplotlib
backend: that is the script's or the notebook's choice (``MPLBACKEND=Agg``
for files only). :func:`save_all` writes every figure the Dataset has data
for; ``python -m qz5 plot RUN.nc`` does the same from the command line.
"""
from __future__ import annotations

import os
import re
from typing import TYPE_CHECKING, Any, Optional, Sequence, Union

import numpy as np
import xarray as xr

from .results import budget_term

if TYPE_CHECKING:  # pragma: no cover
    import pandas as pd
    from matplotlib.axes import Axes

AxesArg = Union[None, "Axes", Sequence["Axes"]]

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


def _pyplot() -> Any:
    import matplotlib.pyplot as plt

    return plt


# CF units of days counted from a date: "days since 2024-02-27 06:00:00".
_DAYS_SINCE = re.compile(r"^\s*days\s+since\s+(\d{1,4})-(\d{1,2})-(\d{1,2})"
                         r"(?:[ T](\d{1,2}):(\d{2})(?::(\d{2}(?:\.\d*)?))?)?"
                         r"\s*(?:Z|UTC|[+-]00(?::?00)?)?\s*$")
# Calendars whose days are those of numpy's dates (the proleptic Gregorian
# one; "standard" differs only before 1582).
_DATE_CALENDARS = {"standard", "gregorian", "proleptic_gregorian"}


def reference_date(var: xr.DataArray) -> Optional[np.datetime64]:
    """Day 0 of a time variable as a date, or None when its times are plain
    days.

    Read from CF units "days since <date>" (the attribute of a file opened
    with ``decode_times=False``, or the encoding of one decoded to
    ``datetime64``) in a Gregorian calendar. Times decoded to
    ``datetime64`` without such units count from their first value.
    """
    meta = {**var.encoding, **var.attrs}
    m = _DAYS_SINCE.match(str(meta.get("units", "")))
    calendar = str(meta.get("calendar", "standard")).lower()
    if m and calendar in _DATE_CALENDARS:
        y, mo, d, hh, mm, ss = m.groups()
        day0 = np.datetime64(f"{int(y):04d}-{int(mo):02d}-{int(d):02d}", "us")
        seconds = int(hh or 0) * 3600 + int(mm or 0) * 60 + float(ss or 0.0)
        return day0 + np.timedelta64(round(seconds * 1e6), "us")
    if np.issubdtype(var.dtype, np.datetime64) and var.size:
        return np.datetime64(var.values.ravel()[0], "us")
    return None


def days(values: Any) -> np.ndarray:
    """Times as numbers of days, whatever decoding the file was opened with
    (numbers of days stay as they are, ``timedelta64`` become days, and
    ``datetime64`` of a DataArray days since its :func:`reference_date`)."""
    day0 = reference_date(values) if isinstance(values, xr.DataArray) else None
    v = np.asarray(values)
    if np.issubdtype(v.dtype, np.datetime64):
        if day0 is None:
            day0 = np.datetime64(v.ravel()[0], "us") if v.size else np.datetime64(0, "us")
        return (v - day0) / np.timedelta64(1, "D")
    if np.issubdtype(v.dtype, np.timedelta64):
        return v / np.timedelta64(1, "D")
    return v.astype(float)


class _TimeAxis:
    """How a figure draws the times of one variable: days, or, when they are
    dates, matplotlib's date numbers (days since its epoch), so that bar
    widths and offsets in days stay what they are."""

    def __init__(self, var: xr.DataArray, long_name: Optional[str] = None):
        import matplotlib.dates as mdates

        day0 = reference_date(var)
        self.zero = None if day0 is None else float(mdates.date2num(day0))
        self.days = days(var)
        self.long_name = long_name or var.attrs.get("long_name", "time")

    @property
    def values(self) -> np.ndarray:
        return self.of_days(self.days)

    def of_days(self, t: Any) -> np.ndarray:
        """Axis values of times in days since day 0."""
        t = np.asarray(t, dtype=float)
        return t if self.zero is None else t + self.zero

    def text(self, t: float) -> str:
        """A time for a legend or a title: "8 days", or its date
        ("2024-03-06", "2024-03-06 18:00")."""
        if self.zero is None:
            return f"{t:g} days"
        import matplotlib.dates as mdates

        # To the minute first: 08:00 is not shown as 07:59 for a hair less.
        moment = mdates.num2date(round((self.zero + t) * 1440.0) / 1440.0)
        return moment.strftime("%Y-%m-%d" if moment.strftime("%H:%M") == "00:00"
                               else "%Y-%m-%d %H:%M")

    def label(self, suffix: str = "") -> str:
        return f"{self.long_name}{suffix}" if self.zero is not None \
            else f"{self.long_name} (days){suffix}"

    def decorate(self, a: "Axes", suffix: str = "") -> None:
        """Labels the x axis; with dates, date ticks by a concise formatter."""
        a.set_xlabel(self.label(suffix))
        if self.zero is not None:
            import matplotlib.dates as mdates

            locator = mdates.AutoDateLocator(minticks=3, maxticks=8)
            a.xaxis_date()
            a.xaxis.set_major_locator(locator)
            a.xaxis.set_major_formatter(mdates.ConciseDateFormatter(locator))


def constituents(ds: xr.Dataset) -> list[str]:
    """The constituents' variable names, in order (those on (time, point))."""
    names = []
    for name, v in ds.data_vars.items():
        if v.dims[-2:] == ("time", "point") and name != "x":
            names.append(str(name))
    return names


def run_name(ds: xr.Dataset) -> str:
    """The run's title and the names file it came from, for figure titles."""
    title = str(ds.attrs.get("title", "qz5 run")).strip()
    names = ds.attrs.get("input_names")
    return f"{title} ({os.path.basename(str(names))})" if names else title


def label(var: xr.DataArray, fallback: str) -> str:
    """``long name (units)`` of a variable."""
    long_name = var.attrs.get("long_name", fallback)
    units = var.attrs.get("units")
    return f"{long_name} ({units})" if units else long_name


def _panels(n: int, ax: AxesArg, width: float = 5.2, height: float = 3.4,
            constrained: bool = True) -> tuple[Any, list, bool]:
    """(figure, one Axes per panel, whether the figure is new)."""
    if ax is not None:
        axes = [ax] if hasattr(ax, "plot") else list(np.ravel(np.asarray(ax, dtype=object)))
        if len(axes) != n:
            raise ValueError(f"ax: {n} Axes needed (one per panel), {len(axes)} given")
        return axes[0].figure, axes, False
    plt = _pyplot()
    cols = 2 if n > 1 else 1
    rows = (n + cols - 1) // cols
    fig, grid = plt.subplots(rows, cols, figsize=(width * cols, height * rows + 0.8),
                             squeeze=False, constrained_layout=constrained)
    for extra in grid.flat[n:]:
        extra.set_visible(False)
    return fig, list(grid.flat[:n]), True


def _one_axes(ax: Optional["Axes"], size: tuple[float, float]) -> tuple[Any, "Axes", bool]:
    if ax is not None:
        return ax.figure, ax, False
    fig, new = _pyplot().subplots(figsize=size, constrained_layout=True)
    return fig, new, True


def _one_member(ds: xr.Dataset, member: Any) -> xr.Dataset:
    if "member" in ds.dims:
        return ds.sel(member=member) if member is not None else ds.isel(member=0)
    return ds


def profiles(ds: xr.Dataset, times: Optional[Sequence[float]] = None,
             names: Optional[Sequence[str]] = None, member: Any = None,
             ax: AxesArg = None) -> list["Axes"]:
    """Each constituent along the channel at chosen output times.

    Parameters
    ----------
    ds : xarray.Dataset
        A run (or an ensemble: ``member`` picks one, by label; the first by
        default).
    times : sequence of float, optional
        Output times in days (the nearest saved profile is drawn); by
        default five spread over the run. The legend gives them in days,
        or as dates when the run's times are dates.
    names : sequence of str, optional
        Constituents (variable names); by default all.
    member : optional
        The member of an ensemble, by its label.
    ax : Axes or sequence of Axes, optional
        One Axes per constituent; a new figure when None.

    Returns
    -------
    list of matplotlib.axes.Axes
        One per constituent; each line is one output time, drawn on the
        grid's own positions.
    """
    ds = _one_member(ds, member)
    names = list(names or constituents(ds))
    when = _TimeAxis(ds.time)
    all_times = when.days
    if times is None:
        idx = np.unique(np.linspace(0, len(all_times) - 1, min(5, len(all_times))).round()
                        .astype(int))
    else:
        idx = [int(np.argmin(np.abs(all_times - t))) for t in np.atleast_1d(times)]
    fig, axes, new = _panels(len(names), ax)
    colours = _pyplot().cm.viridis(np.linspace(0, 0.9, len(idx)))
    for a, name in zip(axes, names):
        for colour, i in zip(colours, idx):
            a.plot(ds.x.values[i], ds[name].values[i], color=colour, lw=1.4,
                   label=when.text(all_times[i]))
        a.set_xlabel(label(ds.x, "position"))
        a.set_ylabel(label(ds[name], name))
        a.set_title(name)
        a.grid(alpha=0.3)
    axes[0].legend(title=ds.time.attrs.get("long_name", "time"), fontsize=8, title_fontsize=8)
    if new:
        fig.suptitle(f"{run_name(ds)}: profiles of the constituents")
    return axes


def sharpest(ds: xr.Dataset) -> str:
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


def grid(ds: xr.Dataset, background: Optional[str] = None, member: Any = None,
         ax: Optional["Axes"] = None) -> "Axes":
    """The trajectories x(t) of the grid points over a constituent's values:
    how the moving grid follows the fronts.

    Parameters
    ----------
    ds : xarray.Dataset
        A run (or an ensemble, with ``member``).
    background : str, optional
        The constituent drawn behind; by default the one with the steepest
        fronts (:func:`sharpest`).
    member : optional
        The member of an ensemble, by its label.
    ax : Axes, optional
        Where to draw; a new figure when None.

    Returns
    -------
    matplotlib.axes.Axes
        Time across (days, or dates), position along the channel up; one
        white line per grid point.
    """
    ds = _one_member(ds, member)
    name = background or sharpest(ds)
    when = _TimeAxis(ds.time)
    t = when.values
    x = ds.x.values
    fig, a, new = _one_axes(ax, (9, 5.5))
    T = np.broadcast_to(t[:, None], x.shape)
    field = a.contourf(T, x, ds[name].values, levels=30, cmap="cividis", extend="both")
    fig.colorbar(field, ax=a, label=label(ds[name], name))
    for j in range(x.shape[1]):
        a.plot(t, x[:, j], color="white", lw=0.6, alpha=0.85)
    a.plot([], [], color="white", lw=0.6, label="grid points")
    when.decorate(a)
    a.set_ylabel(label(ds.x, "position"))
    a.legend(loc="upper right", facecolor="0.3", labelcolor="white", fontsize=8)
    what = f"moving grid over {ds[name].attrs.get('long_name', name)}"
    a.set_title(f"{run_name(ds)}: {what}" if new else what)
    return a


def _station_label(ds: xr.Dataset, i: int) -> str:
    sx = ds.station_x
    at = f"{sx.values[i]:g} {sx.attrs.get('units', '')}".strip()
    if "station" in ds.indexes:
        name = str(ds.station.values[i])
        if name != f"{sx.values[i]:g}":
            return f"{name} ({at})"
    return at


def stations(ds: xr.Dataset, names: Optional[Sequence[str]] = None, member: Any = None,
             ax: AxesArg = None) -> list["Axes"]:
    """The series of every constituent at each station.

    Parameters
    ----------
    ds : xarray.Dataset
        A run with stations (or an ensemble, with ``member``).
    names : sequence of str, optional
        Constituents; by default all.
    member : optional
        The member of an ensemble, by its label.
    ax : Axes or sequence of Axes, optional
        One Axes per constituent; a new figure when None.

    Returns
    -------
    list of matplotlib.axes.Axes
        One per constituent, one line per station against time (days, or
        dates).
    """
    ds = _one_member(ds, member)
    names = list(names or constituents(ds))
    fig, axes, new = _panels(len(names), ax)
    when = _TimeAxis(ds.station_time)
    t = when.values
    for a, name in zip(axes, names):
        v = ds["station_" + name]
        for i in range(ds.sizes["station"]):
            a.plot(t, v.values[:, i], lw=1.2, label=_station_label(ds, i))
        when.decorate(a)
        a.set_ylabel(label(v, name))
        a.set_title(name)
        a.grid(alpha=0.3)
    axes[0].legend(title="station at", fontsize=8, title_fontsize=8)
    if new:
        fig.suptitle(f"{run_name(ds)}: series at the stations")
    return axes


def budget(ds: xr.Dataset, names: Optional[Sequence[str]] = None, member: Any = None,
           ax: AxesArg = None) -> list["Axes"]:
    """The mass budget of each constituent as bars per output interval.

    Each term's contribution to the change of the mass in the reach (above
    zero it added mass, below it removed mass) is stacked, and the change
    itself drawn as a marker; the marker sits at the sum of the bars up to
    the closing error.

    Parameters
    ----------
    ds : xarray.Dataset
        A run with its budget (or an ensemble, with ``member``).
    names : sequence of str, optional
        Constituents; by default all that have a budget.
    member : optional
        The member of an ensemble, by its label.
    ax : Axes or sequence of Axes, optional
        One Axes per constituent; a new figure when None.

    Returns
    -------
    list of matplotlib.axes.Axes
        One per constituent: mass per interval (concentration units times
        volume) against time (days, or dates).
    """
    ds = _one_member(ds, member)
    names = list(names or [n for n in constituents(ds) if f"budget_{n}" in ds])
    fig, axes, new = _panels(len(names), ax, width=6.0, height=3.6, constrained=False)
    when = _TimeAxis(ds.interval_bounds, "time")
    bounds = when.values
    centre = bounds.mean(axis=1)
    width = 0.8 * (bounds[:, 1] - bounds[:, 0])
    colours = _pyplot().cm.tab10(np.arange(len(_TERMS)))
    for a, name in zip(axes, names):
        pos = np.zeros(len(centre))
        neg = np.zeros(len(centre))
        for colour, (term, lab, sign) in zip(colours, _TERMS):
            v = sign * budget_term(ds, name, term).values
            bottom = np.where(v >= 0, pos, neg)
            a.bar(centre, v, width, bottom=bottom, color=colour, label=lab)
            pos += np.where(v >= 0, v, 0)
            neg += np.where(v < 0, v, 0)
        change = budget_term(ds, name, "change")
        a.plot(centre, change.values, "k_", ms=9, mew=2, label="change of the mass in the reach")
        a.axhline(0, color="k", lw=0.5)
        lo, hi = a.get_ylim()
        a.set_ylim(lo - 0.04 * (hi - lo), hi + 0.04 * (hi - lo))
        when.decorate(a, ", one bar per output interval")
        a.set_ylabel(f"mass change per interval ({change.attrs.get('units', '')})")
        a.set_title(ds[name].attrs.get("long_name", name) if name in ds else name)
        a.grid(alpha=0.3, axis="y")
    handles, labels = axes[0].get_legend_handles_labels()
    if new:
        fig.suptitle(f"{run_name(ds)}: mass budget per output interval")
        # The legend below the panels, in a band kept free for it.
        band = 0.9 / fig.get_figheight()
        fig.legend(handles, labels, loc="lower center", ncol=4, fontsize=8, frameon=False)
        fig.tight_layout(rect=(0, band, 1, 1))
    else:
        axes[0].legend(handles, labels, fontsize=7)
    return axes


# --- the model against observations ---------------------------------------------

def _variable_of(ds: xr.Dataset, constituent: Any) -> str:
    """The variable of an observation's constituent: its number 1..NCOMP,
    ``c<k>`` or its name in the Dataset."""
    names = constituents(ds)
    if isinstance(constituent, (int, np.integer)) and 1 <= int(constituent) <= len(names):
        return names[int(constituent) - 1]
    text = str(constituent).strip()
    if text in names:
        return text
    if text.startswith("c") and text[1:].isdigit() and 1 <= int(text[1:]) <= len(names):
        return names[int(text[1:]) - 1]
    raise ValueError(f"observations: constituent {constituent!r} is not in the run "
                     f"({', '.join(names)})")


def _station_at(ds: xr.Dataset, x: float) -> Optional[int]:
    if "station_x" not in ds.variables:
        return None
    sx = ds.station_x.values
    scale = max(1.0, float(np.nanmax(np.abs(ds.x.values))))
    hits = np.nonzero(np.abs(sx - x) <= 1e-9 * scale)[0]
    return int(hits[0]) if len(hits) else None


def model_series(ds: xr.Dataset, name: str, x: float) -> tuple[np.ndarray, np.ndarray]:
    """The model's series of a constituent at a position: (days, values).

    At a station the station's series (every accepted step); elsewhere the
    profiles at the output times, each interpolated linearly in position
    between the grid points around ``x`` (NaN outside the grid).
    """
    i = _station_at(ds, x)
    if i is not None and f"station_{name}" in ds:
        return days(ds.station_time), ds[f"station_{name}"].values[:, i]
    grid_x, values = ds.x.values, ds[name].values
    out = np.array([np.interp(x, gx, v, left=np.nan, right=np.nan)
                    for gx, v in zip(grid_x, values)])
    return days(ds.time), out


def at_observations(ds: xr.Dataset, observations: "pd.DataFrame") -> np.ndarray:
    """The model at each observation's time (days) and position, linear in
    time between the samples of :func:`model_series` (NaN outside the run)."""
    obs = _observation_frame(observations)
    out = np.full(len(obs), np.nan)
    for (c, x), rows in obs.groupby(["constituent", "x"], sort=False).groups.items():
        t, v = model_series(ds, _variable_of(ds, c), float(x))
        out[obs.index.get_indexer(rows)] = np.interp(obs.loc[rows, "time"], t, v,
                                                     left=np.nan, right=np.nan)
    return out


def _observation_frame(observations: Any) -> "pd.DataFrame":
    import pandas as pd

    # A calibration's result carries its observations in its comparison.
    observations = getattr(observations, "comparison", observations)
    obs = pd.DataFrame(observations).reset_index(drop=True)
    if "x" not in obs and "position" in obs:
        obs = obs.rename(columns={"position": "x"})
    missing = [c for c in ("time", "x", "constituent", "value") if c not in obs]
    if missing:
        raise ValueError("observations need the columns time, x (or position), constituent, "
                         f"value; missing: {', '.join(missing)}")
    return obs.astype({"time": float, "x": float, "value": float})


def observed(ds: xr.Dataset, observations: "pd.DataFrame", member: Any = None,
             ax: AxesArg = None) -> list["Axes"]:
    """The model against observations, with the skill scores.

    Parameters
    ----------
    ds : xarray.Dataset
        A run (or an ensemble, with ``member``). Stations at the
        observations' positions give the model's series at every step;
        elsewhere the profiles at the output times are used.
    observations : pandas.DataFrame or qz5.calibration.CalibrationResult
        Columns ``time`` (days), ``x`` (or ``position``; file length
        units), ``constituent`` (number 1..NCOMP, ``c<k>`` or the run's
        name for it) and ``value`` (file units), as :func:`qz5.calibrate`
        takes them; or a calibration's result, whose observations are
        drawn (``qz5.plot.observed(qz5.run(fit.scenario), fit)``).
    member : optional
        The member of an ensemble, by its label.
    ax : Axes or sequence of Axes, optional
        One Axes per observed constituent; a new figure when None.

    Returns
    -------
    list of matplotlib.axes.Axes
        One per observed constituent: the model's series at each observed
        position (a line) and the observations there (markers of the same
        colour); the title gives RMSE, bias (mean of model - observed) and
        the Nash-Sutcliffe efficiency over its observations, as
        :func:`qz5.calibration.skill` computes them.
    """
    from .calibration import skill

    ds = _one_member(ds, member)
    obs = _observation_frame(observations)
    obs["variable"] = [_variable_of(ds, c) for c in obs["constituent"]]
    model = at_observations(ds, obs)
    scores = skill(obs.assign(constituent=obs["variable"]), model)
    variables = list(dict.fromkeys(obs["variable"]))
    fig, axes, new = _panels(len(variables), ax)
    colours = _pyplot().cm.tab10.colors
    when = _TimeAxis(ds.station_time if "station_time" in ds.variables else ds.time, "time")
    for a, name in zip(axes, variables):
        sub = obs[obs["variable"] == name]
        for j, x in enumerate(dict.fromkeys(sub["x"])):
            colour = colours[j % len(colours)]
            t, v = model_series(ds, name, x)
            at = f"{x:g} {ds.x.attrs.get('units', '')}".strip()
            a.plot(when.of_days(t), v, color=colour, lw=1.2, label=f"model at {at}")
            here = sub[sub["x"] == x]
            a.plot(when.of_days(here["time"]), here["value"], "o", color=colour, ms=4, mfc="none",
                   label=f"observed at {at}")
        s = scores.loc[name]
        units = ds[name].attrs.get("units", "")
        a.set_title(f"{name}: RMSE {s['rmse']:.3g} {units}, bias {s['bias']:+.3g}, "
                    f"NSE {s['nse']:.3f} (n={int(s['n'])})", fontsize=9)
        when.decorate(a)
        a.set_ylabel(label(ds[name], name))
        a.grid(alpha=0.3)
        a.legend(fontsize=7)
    if new:
        fig.suptitle(f"{run_name(ds)}: model and observations")
    return axes


# --- the spread of an ensemble --------------------------------------------------

def ensemble(ds: xr.Dataset, name: Optional[str] = None, station: Any = None,
             time: Optional[float] = None, quantiles: tuple[float, float] = (0.1, 0.9),
             ax: Optional["Axes"] = None) -> "Axes":
    """The spread of an ensemble's members: at a station over time, or along
    the channel at one output time.

    Parameters
    ----------
    ds : xarray.Dataset
        An ensemble from :func:`qz5.ensemble` (a ``member`` dimension).
    name : str, optional
        The constituent; by default the first.
    station : str or int, optional
        A station by name (``ds.station`` values) or by position in the
        list (an int): the series at it. Without it, the profiles along
        the channel at ``time``.
    time : float, optional
        Output time in days of the profiles (the nearest saved one); by
        default the last.
    quantiles : (float, float), default (0.1, 0.9)
        The inner band.
    ax : Axes, optional
        Where to draw; a new figure when None.

    Returns
    -------
    matplotlib.axes.Axes
        The median of the members as a line, the ``quantiles`` band and the
        whole range (light); members that failed (NaN) are left out where
        they have no value.
    """
    if "member" not in ds.dims:
        raise ValueError("ensemble: the Dataset has no member dimension (use qz5.ensemble)")
    name = name or constituents(ds)[0]
    fig, a, new = _one_axes(ax, (8, 4.6))
    if station is not None:
        at = list(ds.station.values).index(station) if isinstance(station, str) else int(station)
        var = ds[f"station_{name}"].isel(station=at)
        when = _TimeAxis(ds.station_time)
        x_axis = when.values
        values = var.transpose("member", "station_time").values
        where = f"at station {_station_label(ds, at)}"
        when.decorate(a)
    else:
        when = _TimeAxis(ds.time)
        t = when.days
        i = len(t) - 1 if time is None else int(np.argmin(np.abs(t - time)))
        gx = ds.x.isel(time=i).transpose("member", "point").values
        gv = ds[name].isel(time=i).transpose("member", "point").values
        x_axis = np.linspace(np.nanmin(gx), np.nanmax(gx), 300)
        values = np.array([np.interp(x_axis, px, pv) if np.isfinite(px).all()
                           else np.full(len(x_axis), np.nan) for px, pv in zip(gx, gv)])
        where = f"along the channel at {when.text(t[i])}"
        a.set_xlabel(label(ds.x, "position"))
    n = int(np.isfinite(values).all(axis=1).sum())
    with np.errstate(invalid="ignore"), _quiet_all_nan():
        lo, hi = np.nanmin(values, axis=0), np.nanmax(values, axis=0)
        q_lo, med, q_hi = np.nanquantile(values, [quantiles[0], 0.5, quantiles[1]], axis=0)
    a.fill_between(x_axis, lo, hi, color="tab:blue", alpha=0.18, lw=0,
                   label=f"range of {n} members")
    a.fill_between(x_axis, q_lo, q_hi, color="tab:blue", alpha=0.4, lw=0,
                   label=f"{quantiles[0]:.0%} to {quantiles[1]:.0%} of the members")
    a.plot(x_axis, med, color="tab:blue", lw=1.6, label="median")
    a.set_ylabel(label(ds[name], name))
    a.set_title(f"{ds[name].attrs.get('long_name', name)} {where}: spread of the ensemble")
    a.grid(alpha=0.3)
    a.legend(fontsize=8)
    return a


class _quiet_all_nan:
    """Silences numpy's warning for columns where every member is NaN."""

    def __enter__(self) -> None:
        import warnings

        self._w = warnings.catch_warnings()
        self._w.__enter__()
        warnings.simplefilter("ignore", RuntimeWarning)

    def __exit__(self, *exc: Any) -> None:
        self._w.__exit__(*exc)


FIGURES = {"profiles": profiles, "grid": grid, "stations": stations, "budget": budget}


def available(ds: xr.Dataset) -> list[str]:
    """The figures of :func:`save_all` the Dataset has data for."""
    out = ["profiles", "grid"] if "x" in ds else []
    if "station_x" in ds.coords or "station_x" in ds:
        out.append("stations")
    if "interval_bounds" in ds:
        out.append("budget")
    return out


def save_all(ds: xr.Dataset, out_dir: Union[str, "os.PathLike[str]"] = ".", stem: str = "run",
             formats: Sequence[str] = ("png", "svg"), which: Optional[Sequence[str]] = None,
             times: Optional[Sequence[float]] = None, names: Optional[Sequence[str]] = None,
             dpi: int = 110) -> list[str]:
    """Writes figures as ``<out_dir>/<stem>_<figure>.<format>``.

    Parameters
    ----------
    ds : xarray.Dataset
        A run.
    out_dir : str or path-like
        The folder, made when missing.
    stem : str
        Start of the file names.
    formats : sequence of str
        File formats matplotlib writes (``png``, ``svg``, ``pdf``).
    which : sequence of str, optional
        Among ``profiles``, ``grid``, ``stations``, ``budget``; by default
        all the Dataset has data for (:func:`available`).
    times, names : optional
        Passed on to :func:`profiles` (times) and the per-constituent
        figures (names).
    dpi : int
        Resolution of raster formats.

    Returns
    -------
    list of str
        The paths written.
    """
    plt = _pyplot()
    os.makedirs(out_dir, exist_ok=True)
    paths = []
    for fig_name in which or available(ds):
        kw: dict[str, Any] = {}
        if fig_name == "profiles":
            kw = {"times": times, "names": names}
        elif fig_name in ("stations", "budget"):
            kw = {"names": names}
        drawn = FIGURES[fig_name](ds, **kw)
        fig = (drawn if hasattr(drawn, "figure") else drawn[0]).figure
        for fmt in formats:
            path = os.path.join(str(out_dir), f"{stem}_{fig_name}.{fmt}")
            fig.savefig(path, dpi=dpi)
            paths.append(path)
        plt.close(fig)
    return paths
