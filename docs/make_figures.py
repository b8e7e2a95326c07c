"""Writes the figures of the documentation: the bundled scenario's run, a
small ensemble, a comparison with (made-up) observations, and the bundled
scenario file run with a reference date (by the executable, $QZ5_EXE, which
also shows what it says about malformed scenario files).

    PYTHONPATH=build/python /usr/bin/python3 docs/make_figures.py OUT_DIR

The documentation build (docs/conf.py) calls :func:`write` with
docs/_generated. The ensemble runs in this process (no Dask cluster), member
after member, as a Dask worker would run them.
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")  # a script's choice, not the library's

import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

import qz5  # noqa: E402
from qz5 import ensembles, plot  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[1]
NAMES = ("salinity:psu,DOC:umol C/L,DIN:umol N/L,phytoplankton:umol C/L,"
         "consumers:umol C/L,detritus:umol C/L")
STATIONS = {"head": 0.0, "harbour": 5000.0, "town": 15000.0, "mouth": 23330.0}


def observations(s):
    """Observations of phytoplankton and DIN at two stations, every 10 days,
    made from a run with a slower growth rate and 3 % noise."""
    truth = s.with_values({"rxpar[1]": 0.9})
    ds = qz5.run(truth, stations=STATIONS, constituents=NAMES, length_unit="m")
    rng = np.random.default_rng(7)
    rows = []
    for name in ("phytoplankton", "DIN"):
        for station in ("harbour", "town"):
            series = ds[f"station_{name}"].sel(station=station)
            for t in np.arange(10.0, 121.0, 10.0):
                v = float(np.interp(t, ds.station_time.values, series.values))
                rows.append((t, STATIONS[station], name, v * (1 + 0.03 * rng.normal())))
    return pd.DataFrame(rows, columns=["time", "x", "constituent", "value"])


def small_ensemble(s):
    members = [{"rxpar[4]": v} for v in np.linspace(0.06, 0.14, 9)]
    results = ensembles.run_members(s, list(enumerate(members)),
                                    {"stations": list(STATIONS.values()),
                                     "constituents": NAMES, "length_unit": "m"})
    ds = ensembles.combine(s, results, members, list(range(len(members))),
                          station_times=np.linspace(0.0, 120.0, 481))
    return ds.assign_coords(station=list(STATIONS))


def texts(out_dir):
    """The help texts of both command lines and the table of the scenario's
    fields, for the pages that include them."""
    import subprocess

    out = pathlib.Path(out_dir)
    exe = os.environ.get("QZ5_EXE")
    if exe:
        help_text = subprocess.run([exe, "--help"], capture_output=True, text=True).stdout
    else:
        help_text = "(the executable was not given: QZ5_EXE)"
    (out / "qz5_help.txt").write_text(help_text)
    from qz5.__main__ import parser

    p = parser()
    sub = p._subparsers._group_actions[0].choices
    (out / "qz5_py_run_help.txt").write_text(sub["run"].format_help())
    (out / "qz5_py_plot_help.txt").write_text(sub["plot"].format_help())
    rows = [".. list-table::", "   :header-rows: 1", "   :widths: 18 82", "",
            "   * - field", "     - meaning and units"]
    for name in qz5._core.FIELDS:
        doc = " ".join((getattr(qz5._core.Scenario, name).__doc__ or "").split())
        rows += [f"   * - ``{name}``", f"     - {doc.replace('*', chr(92) + '*')}"]
    (out / "fields.rst").write_text("\n".join(rows) + "\n")


def _executable():
    exe = os.environ.get("QZ5_EXE") or str(ROOT / "build" / "qz5")
    return exe if os.access(exe, os.X_OK) else None


def _estuary_copy(where):
    """The bundled scenario file and its tables in a scratch folder; returns
    the scenario file's path."""
    folder = pathlib.Path(where) / "estuary"
    shutil.copytree(ROOT / "examples" / "estuary", folder)
    return folder / "estuary.toml"


# Faults a modeller makes in a scenario file: (name, file, text, replacement).
FAULTS = [("decimal comma", "estuary_mouth.csv", "30.003,", "30,003,"),
          ("misspelt key", "estuary.toml", "\nrtol = ", "\nrtoll = "),
          ("a date without a reference date", "estuary.toml", "\nstart = 0.0",
           "\nstart = 2024-01-01")]


def refusals(out_dir, exe):
    """What the executable says about each fault of FAULTS, one after the
    other, as refusals.txt."""
    lines = []
    for name, file, old, new in FAULTS:
        with tempfile.TemporaryDirectory() as tmp:
            scenario = _estuary_copy(tmp)
            path = scenario.parent / file
            text = path.read_text()
            assert old in text, (name, old)
            path.write_text(text.replace(old, new, 1))
            run = subprocess.run([exe, scenario.name], cwd=scenario.parent, capture_output=True,
                                 text=True)
            said = [line for line in run.stdout.splitlines() if line.strip()][-1]
            lines += [f"$ qz5 estuary.toml       # {name}", said,
                      f"(exit status {run.returncode})", ""]
    (pathlib.Path(out_dir) / "refusals.txt").write_text("\n".join(lines))


def dated_run(out_dir, exe):
    """The bundled scenario file with reference_date = 2024-01-01, two
    stations and a NetCDF file, run by the executable; its station series
    drawn with dates on the time axis."""
    with tempfile.TemporaryDirectory() as tmp:
        scenario = _estuary_copy(tmp)
        text = scenario.read_text()
        assert "\n[output]\n" in text
        text = "reference_date = 2024-01-01\n" + text.replace(
            "\n[output]\n", '\n[output]\nnetcdf = "estuary.nc"\nstations = [ { name = "head", '
            'position = 0.0 }, { name = "outfall", position = 16000.0 } ]\n', 1)
        scenario.write_text(text)
        run = subprocess.run([exe, scenario.name], cwd=scenario.parent, capture_output=True,
                             text=True)
        if run.returncode != 0:
            raise RuntimeError(f"the dated run failed:\n{run.stdout}")
        ds = qz5.open_dataset(scenario.parent / "estuary.nc").load()
    axes = plot.stations(ds, names=["salinity", "phyto"])
    return _save(axes[0].figure, out_dir, "estuary_dated_stations")


def write(out_dir):
    import matplotlib.pyplot as plt

    os.makedirs(out_dir, exist_ok=True)
    texts(out_dir)
    exe = _executable()
    if exe is None:
        raise RuntimeError("the qz5 executable is needed (QZ5_EXE, or build/qz5)")
    refusals(out_dir, exe)
    s = qz5.Scenario.from_names_file(ROOT / "examples" / "estuary" / "estuary.fn")
    ds = qz5.run(s, stations=STATIONS, budget=True, constituents=NAMES, length_unit="m")
    paths = plot.save_all(ds, out_dir, "estuary", formats=("png",), dpi=80)
    ax = plot.observed(ds, observations(s))
    paths.append(_save(ax[0].figure, out_dir, "estuary_observed"))
    ens = small_ensemble(s)
    fig, (left, right) = plt.subplots(1, 2, figsize=(13, 4.6), constrained_layout=True)
    plot.ensemble(ens, "phytoplankton", station="harbour", ax=left)
    plot.ensemble(ens, "phytoplankton", time=60.0, ax=right)
    paths.append(_save(fig, out_dir, "estuary_ensemble"))
    paths.append(dated_run(out_dir, exe))
    return paths


def _save(fig, out_dir, stem):
    import matplotlib.pyplot as plt

    path = os.path.join(out_dir, f"{stem}.png")
    fig.savefig(path, dpi=80)
    plt.close(fig)
    return path


if __name__ == "__main__":
    for p in write(sys.argv[1] if len(sys.argv) > 1 else "figures"):
        print(p)
