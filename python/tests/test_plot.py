"""Figures of a run: what they show, labels with units, files written."""
import datetime as dt
import subprocess
import sys
import xml.dom.minidom

import matplotlib
import numpy as np
import pytest
import xarray as xr

matplotlib.use("Agg")

import qz5  # noqa: E402
from qz5 import plot  # noqa: E402
from conftest import NAMES, short_scenario  # noqa: E402

UNITS = "salinity:psu,DOC:umol C/L"


@pytest.fixture(scope="module")
def short_run(estuary_base):
    s = short_scenario(estuary_base.copy(), touts=(4.0, 8.0, 12.0))
    return qz5.run(s, stations=[3000.0, 12000.0], budget=True, constituents=UNITS,
                   length_unit="m")


def labels(ax):
    return ax.get_xlabel(), ax.get_ylabel()


def test_profiles_show_the_chosen_times_with_units(short_run):
    fig = plot.profiles(short_run, times=[0.0, 8.0])[0].figure
    axes = [a for a in fig.axes if a.get_visible()]
    assert len(axes) == 6
    assert labels(axes[0]) == ("position of the grid point along the channel (m)",
                               "salinity (psu)")
    assert axes[2].get_ylabel() == "constituent 3 (file units)"
    lines = axes[1].get_lines()
    assert [l.get_label() for l in lines] == ["0 days", "8 days"]
    np.testing.assert_array_equal(lines[1].get_xdata(), short_run.x.sel(time=8.0).values)
    np.testing.assert_array_equal(lines[1].get_ydata(), short_run.DOC.sel(time=8.0).values)
    assert fig._suptitle.get_text().startswith("Advection dispersion with QZ5 (estuary.fn)")


def test_grid_draws_one_trajectory_per_point_over_the_sharpest_front(short_run):
    fig = plot.grid(short_run).figure
    ax = fig.axes[0]
    trajectories = [l for l in ax.get_lines() if len(l.get_xdata())]
    assert len(trajectories) == short_run.sizes["point"]
    np.testing.assert_array_equal(trajectories[40].get_ydata(), short_run.x[:, 40].values)
    assert labels(ax) == ("time of the saved profile (days)",
                          "position of the grid point along the channel (m)")
    # A step in one constituent and a gentle slope in another: the step wins.
    # On a grid crowded where a front is, its neighbours differ little; the
    # slope still finds it.
    x = np.concatenate([np.linspace(0.0, 0.45, 4), np.linspace(0.46, 0.54, 20),
                        np.linspace(0.55, 1.0, 4)])
    ds = xr.Dataset({"smooth": (("time", "point"), [x ** 2, x ** 2]),
                     "front": (("time", "point"), [np.tanh((x - 0.5) / 0.02)] * 2)},
                    coords={"x": (("time", "point"), [x, x])})
    assert plot.sharpest(ds) == "front"


def test_stations_show_each_station_series(short_run):
    fig = plot.stations(short_run, names=["salinity", "c4"])[0].figure
    ax = fig.axes[0]
    assert [l.get_label() for l in ax.get_lines()] == ["3000 m", "12000 m"]
    assert labels(ax) == ("time of the station sample (days)", "salinity at the stations (psu)")
    np.testing.assert_array_equal(fig.axes[1].get_lines()[1].get_ydata(),
                                  short_run.station_c4.isel(station=1).values)


def test_budget_bars_add_up_to_the_change_less_the_closing_error(short_run):
    fig = plot.budget(short_run)[0].figure
    ax = fig.axes[1]  # DOC
    assert ax.get_ylabel() == "mass change per interval ((umol C/L)*(m)^3)"
    centres = short_run.interval_bounds.mean("nv").values
    sums = np.zeros(len(centres))
    for bar in ax.patches:
        i = int(np.argmin(np.abs(centres - (bar.get_x() + bar.get_width() / 2))))
        sums[i] += bar.get_height()
    change = qz5.budget_term(short_run, "DOC", "change").values
    closing = qz5.budget_term(short_run, "DOC", "closing_error").values
    np.testing.assert_allclose(sums, change - closing,
                               rtol=1e-9, atol=1e-9 * np.abs(change).max())
    marker = [l for l in ax.get_lines() if l.get_label().startswith("change")][0]
    np.testing.assert_array_equal(marker.get_ydata(), change)


def test_files_from_the_command_line(tmp_path):
    nc = tmp_path / "estuary.nc"
    env = {"PYTHONPATH": ":".join(sys.path), "MPLBACKEND": "Agg"}
    run = subprocess.run([sys.executable, "-m", "qz5", "run", str(NAMES), "--netcdf", str(nc),
                          "--stations", "5000,15000", "--budget", str(tmp_path / "budget.csv")],
                         capture_output=True, text=True, env=env)
    assert run.returncode == 0, run.stderr
    out = subprocess.run([sys.executable, "-m", "qz5", "plot", str(nc), "--out",
                          str(tmp_path / "figs")], capture_output=True, text=True, env=env)
    assert out.returncode == 0, out.stderr
    written = out.stdout.split()
    assert len(written) == 8
    for kind in ("profiles", "grid", "stations", "budget"):
        png = tmp_path / "figs" / f"estuary_{kind}.png"
        assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        doc = xml.dom.minidom.parse(str(tmp_path / "figs" / f"estuary_{kind}.svg"))
        assert doc.documentElement.tagName == "svg"


def test_a_file_without_stations_or_budget_gets_the_figures_it_has(tmp_path, short_run):
    ds = short_run[["salinity", "DOC"]]
    assert plot.available(ds) == ["profiles", "grid"]
    paths = plot.save_all(ds, tmp_path, "few", formats=("png",))
    assert [p.split("/")[-1] for p in paths] == ["few_profiles.png", "few_grid.png"]


def test_figures_draw_into_the_axes_given_and_return_them(short_run):
    import matplotlib.pyplot as plt

    fig, (a, b, c) = plt.subplots(1, 3)
    assert plot.profiles(short_run, names=["salinity", "DOC"], ax=[a, b]) == [a, b]
    assert plot.grid(short_run, ax=c) is c
    assert len(a.get_lines()) == 4 and fig._suptitle is None  # the caller's figure keeps its title
    with pytest.raises(ValueError, match="2 Axes needed"):
        plot.stations(short_run, names=["salinity", "DOC"], ax=a)
    plt.close(fig)


def test_the_library_leaves_the_backend_to_the_caller(tmp_path):
    code = ("import matplotlib; matplotlib.use('svg'); import qz5\n"
            f"s = qz5.Scenario.from_names_file({str(NAMES)!r}); s.touts = [2.0]\n"
            "qz5.plot.profiles(qz5.run(s)); print(matplotlib.get_backend())")
    env = {"PYTHONPATH": ":".join(sys.path)}
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "svg"


@pytest.fixture(scope="module")
def observed_run(estuary_base):
    s = short_scenario(estuary_base.copy(), touts=(4.0, 8.0, 12.0))
    return qz5.run(s, stations={"harbour": 5000.0}, constituents=UNITS)


def observations_from(ds, offset):
    """Observations equal to the model at the station's samples (and at a
    place between grid points at the output times), shifted by offset."""
    import pandas as pd

    t = ds.station_time.values[[10, 40, 80]]
    rows = [(ti, 5000.0, "salinity", v + offset)
            for ti, v in zip(t, ds.station_salinity.sel(station="harbour").values[[10, 40, 80]])]
    for ti in (4.0, 8.0):
        p = ds.sel(time=ti)
        rows.append((ti, 11111.0, 4, np.interp(11111.0, p.x.values, p.c4.values) + offset))
    return pd.DataFrame(rows, columns=["time", "x", "constituent", "value"])


@pytest.mark.parametrize("offset,rmse,bias", [(0.0, "0", "+0"), (-0.5, "0.5", "+0.5")])
def test_observed_compares_the_model_with_the_observations(observed_run, offset, rmse, bias):
    ds = observed_run
    obs = observations_from(ds, offset)
    np.testing.assert_allclose(plot.at_observations(ds, obs), obs["value"] - offset, rtol=1e-12,
                               atol=1e-12)
    axes = plot.observed(ds, obs)
    assert [a.get_ylabel() for a in axes] == ["salinity (psu)", "constituent 4 (file units)"]
    title = axes[0].get_title()
    assert title.startswith(f"salinity: RMSE {rmse} psu, bias {bias},"), title
    assert title.endswith("(n=3)")
    model, observed = axes[0].get_lines()
    # The model line at a station is the station's series, every step.
    np.testing.assert_array_equal(model.get_ydata(),
                                  ds.station_salinity.sel(station="harbour").values)
    np.testing.assert_array_equal(observed.get_ydata(), obs["value"].values[:3])
    # Between grid points, away from a station: the profiles at the output times.
    assert len(axes[1].get_lines()[0].get_xdata()) == ds.sizes["time"]


def test_ensemble_band_is_the_members_spread(estuary_base):
    from qz5 import ensembles

    base = short_scenario(estuary_base.copy(), touts=(4.0, 8.0))
    members = [{"rxpar[4]": v} for v in (0.06, 0.08, 0.1, 0.12, 0.14)]
    ens = ensembles.combine(base, ensembles.run_members(base, list(enumerate(members)),
                                                        {"stations": [6000.0]}),
                            members, list(range(5)))
    ax = plot.ensemble(ens, "c4", station="6000")
    values = ens.station_c4.isel(station=0).transpose("member", "station_time").values
    median = [l for l in ax.get_lines() if l.get_label() == "median"][0]
    np.testing.assert_allclose(median.get_ydata(), np.median(values, axis=0), rtol=1e-12)
    outer = ax.collections[0].get_paths()[0].vertices[:, 1]
    assert np.isclose(outer.max(), values.max()) and np.isclose(outer.min(), values.min())
    # Along the channel: members on their own grids, on a common one.
    along = plot.ensemble(ens, "c4", time=8.0)
    assert along.get_title().endswith("along the channel at 8 days: spread of the ensemble")
    with pytest.raises(ValueError, match="no member dimension"):
        plot.ensemble(ens.isel(member=0))


# --- dates on the time axes -------------------------------------------------------

DAY0 = dt.datetime(2024, 2, 27, 6, 0)  # a leap year: 29 February lies in the run


def with_reference(ds, how):
    """The run as a scenario with reference_date = DAY0 gives it: times in
    days since DAY0 (as qz5.open_dataset reads the file), or decoded to
    datetime64 (as plain xr.open_dataset reads it); "days" leaves it alone."""
    if how == "days":
        return ds
    ds = ds.copy(deep=True)
    for name in {"time", "station_time", "interval", "interval_bounds"} & set(ds.variables):
        ds[name].attrs.update(units="days since 2024-02-27 06:00:00",
                              calendar="proleptic_gregorian")
    return xr.decode_cf(ds) if how == "datetime64" else ds


def epoch_days(t):
    """matplotlib's date numbers (days since 1970-01-01) of days since DAY0."""
    return (DAY0 - dt.datetime(1970, 1, 1)).total_seconds() / 86400.0 + np.asarray(t)


@pytest.mark.parametrize("how", ["days", "cf_units", "datetime64"])
def test_time_axes_carry_dates_when_the_run_has_a_reference_date(short_run, how):
    import matplotlib.dates as mdates
    import matplotlib.units as munits

    ds = with_reference(short_run, how)
    dated = how != "days"
    expect = epoch_days if dated else np.asarray
    days = short_run.station_time.values
    drawn = {"stations": plot.stations(ds, names=["salinity"])[0],
             "grid": plot.grid(ds),
             "budget": plot.budget(ds, names=["DOC"])[0]}
    for kind, ax in drawn.items():
        formatter = ax.xaxis.get_major_formatter()
        assert isinstance(formatter, mdates.ConciseDateFormatter) == dated, kind
        assert (ax.xaxis.converter is munits.registry[dt.datetime]) == dated, kind
    np.testing.assert_allclose(drawn["stations"].get_lines()[1].get_xdata(), expect(days),
                               rtol=1e-13)
    grid_line = [l for l in drawn["grid"].get_lines() if len(l.get_xdata())][0]
    np.testing.assert_allclose(grid_line.get_xdata(), expect(short_run.time.values), rtol=1e-13)
    centres = sorted({round(b.get_x() + b.get_width() / 2, 9) for b in drawn["budget"].patches})
    np.testing.assert_allclose(centres, expect([2.0, 6.0, 10.0]), rtol=1e-13)
    lo, hi = drawn["stations"].get_xlim()
    assert lo <= expect(0.0) < expect(12.0) <= hi and hi - lo <= 12.0 * 1.1 + 1e-9
    # The legend of the profiles names the times as dates (29 February counted).
    legend = [l.get_label() for l in plot.profiles(ds, names=["DOC"])[0].get_lines()]
    if dated:
        assert legend[:2] == ["2024-02-27 06:00", "2024-03-02 06:00"]
    else:
        assert legend[:2] == ["0 days", "4 days"]
    assert drawn["stations"].get_xlabel() == ("time of the station sample" if dated else
                                              "time of the station sample (days)")
    import matplotlib.pyplot as plt

    plt.close("all")


def test_days_of_dates_count_from_the_reference_date(short_run):
    # Times given to the figures stay days since day 0 when the file holds dates.
    ds = with_reference(short_run, "datetime64")
    assert np.issubdtype(ds.time.dtype, np.datetime64)
    np.testing.assert_array_equal(plot.days(ds.time), short_run.time.values)
    assert plot.reference_date(ds.time) == np.datetime64("2024-02-27T06:00")
    noleap = short_run.copy(deep=True)
    noleap.time.attrs.update(units="days since 2024-02-27", calendar="noleap")
    assert plot.reference_date(noleap.time) is None


def test_a_scenario_file_with_a_reference_date_runs_to_dates_in_python(tmp_path):
    import pickle
    import shutil

    from conftest import ESTUARY

    folder = tmp_path / "estuary"
    shutil.copytree(ESTUARY, folder)
    path = folder / "estuary.toml"
    text = path.read_text()
    old = "outputs = { from = 4.0, to = 120.0, step = 4.0 }"
    assert old in text
    path.write_text("reference_date = 2024-02-27T06:00:00\n"
                    + text.replace(old, "outputs = [2024-02-29T06:00:00, 4.0]"))
    s = qz5.Scenario.from_file(path)
    assert s.reference_date == "2024-02-27 06:00:00"
    assert pickle.loads(pickle.dumps(s)).reference_date == s.reference_date
    ds = qz5.run(s.copy(), stations=[5000.0])
    np.testing.assert_array_equal(ds.time.values, [0.0, 2.0, 4.0])  # 29 February is day 2
    for name in ("time", "station_time"):
        assert ds[name].attrs["units"] == "days since 2024-02-27 06:00:00"
    ax = plot.stations(ds, names=["salinity"])[0]
    np.testing.assert_allclose(ax.get_lines()[0].get_xdata(), epoch_days(ds.station_time.values),
                               rtol=1e-13)
    # A names file has no calendar: days, as before.
    plain = qz5.Scenario.from_names_file(NAMES)
    assert plain.reference_date == ""
    plain.touts = [2.0]
    assert qz5.run(plain).time.attrs["units"] == "days"
    import matplotlib.pyplot as plt

    plt.close("all")
