"""Command line of the qz5 package: python -m qz5, or the command qz5-py.

    python -m qz5 run [options] NAMES.fn
    python -m qz5 plot RUN.nc [--out DIR] [--formats png,svg] [--which profiles,grid,...]
                              [--times 0,40,120] [--constituents c1,c4]

``run`` takes the executable's options under the same names and with the
same meaning (--geometry, --outflow, --no-legacy-limits, --max-steps,
--jacobian, --position-increments, --position-error-test, --sources, --channel,
--position-tolerance, --nonnegative, --netcdf, --stations, --stations-csv, --budget FILE, --constituents,
--length-unit); it writes the result files, not the legacy .txc, RESULT and
RUNINF. Names inside the names file are read relative to the names file's
folder (the executable reads them relative to its working folder).
"""
from __future__ import annotations

import argparse
import os
import sys
from typing import Optional, Sequence


def _floats(text: str) -> list[float]:
    return [float(v) for v in text.split(",") if v.strip()]


def _names(text: str) -> list[str]:
    return [v.strip() for v in text.split(",") if v.strip()]


def plot_command(a: argparse.Namespace) -> int:
    """``plot``: the figures of a run's NetCDF file."""
    import matplotlib

    # A command that writes files needs no window; MPLBACKEND still wins.
    if not os.environ.get("MPLBACKEND"):
        matplotlib.use("Agg")
    from . import open_dataset, plot

    ds = open_dataset(a.run)
    stem = a.stem or os.path.splitext(os.path.basename(a.run))[0]
    paths = plot.save_all(ds, a.out, stem, formats=_names(a.formats),
                          which=_names(a.which) if a.which else None,
                          times=_floats(a.times) if a.times else None,
                          names=_names(a.constituents) if a.constituents else None)
    for p in paths:
        print(p)
    return 0


def engine_options(a: argparse.Namespace) -> dict:
    """The engine options of the command line that qz5.run takes by keyword."""
    out: dict = {}
    if a.jacobian:
        out["jacobian"] = a.jacobian
    if a.position_increments:
        out["position_increments"] = a.position_increments
    if a.position_error_test:
        out["position_error_test"] = a.position_error_test == "on"
    if a.nonnegative:
        out["nonnegative"] = a.nonnegative
    if a.sources:
        out["sources"] = a.sources
    if a.channel:
        out["channel"] = a.channel
    if a.position_tolerance:
        out["position_tolerance"] = tuple(_floats(a.position_tolerance))
    return out


def run_command(a: argparse.Namespace) -> int:
    """``run``: a names file into result files; returns the exit status."""
    from . import Qz5Error, Scenario, run
    from .files import FileError, constituent_spec, read_geometry, write_budget_csv, \
        write_stations_csv

    if not (a.netcdf or a.stations_csv or a.budget):
        print("run: give at least one of --netcdf, --stations-csv, --budget", file=sys.stderr)
        return 1
    if a.stations_csv and not a.stations:
        print("run: --stations-csv needs --stations", file=sys.stderr)
        return 1
    try:
        s = Scenario.from_names_file(a.names, kinetics=a.kinetics, strict=a.strict or "off",
                                     resolve_names=a.resolve_names)
        if a.geometry:
            s.geometry = read_geometry(a.geometry)
        if a.outflow:
            s.outflow = a.outflow
        ds = run(s, stations=_floats(a.stations) if a.stations else None,
                 budget=bool(a.budget),
                 constituents=constituent_spec(a.constituents) if a.constituents else None,
                 length_unit=a.length_unit, path=a.netcdf, raise_on_failure=False,
                 legacy_capacities=not a.no_legacy_limits,
                 max_steps_per_interval=a.max_steps, **engine_options(a))
    except (Qz5Error, FileError, OSError) as e:
        print(getattr(e, "message", str(e)), file=sys.stderr)
        return int(getattr(e, "status", 1))
    if a.stations_csv:
        write_stations_csv(ds, a.stations_csv)
    if a.budget:
        write_budget_csv(ds, a.budget)
    written = ", ".join(p for p in (a.netcdf, a.stations_csv, a.budget) if p)
    print(f"{written}: {ds.attrs['status']}, {ds.attrs['message']}")
    return int(ds.attrs["exit_status"])


def parser() -> argparse.ArgumentParser:
    """The command line's parser."""
    from . import __version__

    p = argparse.ArgumentParser(prog="python -m qz5", description=__doc__.splitlines()[0],
                                epilog="Exit status of run: 0 Ready, 1 stopped (bad input, "
                                       "set-up failure), 2 the integration failed.")
    p.add_argument("--version", action="version", version=f"qz5 {__version__}")
    sub = p.add_subparsers(dest="command", required=True)
    pr = sub.add_parser("run", help="run a names file into NetCDF and CSV files",
                        description="Runs a names file with the executable's options "
                                    "(options before or after the names file).")
    pr.add_argument("names", help="the names file (names inside it are read relative to its "
                                  "folder)")
    pr.add_argument("--resolve-names", choices=("names-file", "working-folder"),
                    default="names-file",
                    help="where the file names inside the names file are looked for: the names "
                         "file's folder (the default here; the executable's default is "
                         "working-folder) or the working folder")
    pr.add_argument("--geometry", metavar="FILE",
                    help="the channel's area and dispersion from FILE (a title line, then rows "
                         "of position, area, dispersion) instead of the built-in laws")
    pr.add_argument("--outflow", choices=("fixed", "free"),
                    help="fixed: the second end holds the second boundary's concentrations "
                         "(default); free: the water leaves with the concentration it has")
    pr.add_argument("--strict", nargs="?", const="warn", choices=("warn", "error"),
                    help="warn (or, with --strict=error, refuse) where the legacy free-form "
                         "reading takes a record onto the next line, a comma between two "
                         "digits or a line with more numbers than its record reads")
    pr.add_argument("--no-legacy-limits", action="store_true",
                    help="lift the fixed capacities of the legacy program")
    pr.add_argument("--max-steps", type=int, metavar="N",
                    help="accepted steps allowed between two output times (default 100 per "
                         "grid point, at least 5000)")
    pr.add_argument("--jacobian", choices=("differences", "exact"),
                    help="the iteration matrix by differences of the residual (default) or "
                         "from its derivatives")
    pr.add_argument("--position-increments", choices=("magnitude", "spacing"),
                    help="the grid positions' increments in the differenced matrix set by "
                         "their magnitude (default) or by their distance to their neighbours")
    pr.add_argument("--position-error-test", choices=("on", "off"),
                    help="whether the grid positions take part in the local error test "
                         "(on, default)")
    pr.add_argument("--sources", choices=("midpoint", "exact"),
                    help="lateral inputs sampled at each interval's midpoint (default) or "
                         "integrated exactly over it")
    pr.add_argument("--channel", choices=("sampled", "averaged"),
                    help="geometry table sampled at each interval's midpoint (default) or "
                         "averaged exactly over it")
    pr.add_argument("--position-tolerance", metavar="RTOL,ATOL",
                    help="error tolerances of the grid positions alone (model length units)")
    pr.add_argument("--nonnegative", choices=("clip", "project"),
                    help="how INFO10 = 1 keeps concentrations non-negative: clip (legacy, "
                         "default) or project")
    pr.add_argument("--kinetics", metavar="FILE",
                    help="reaction kinetics declared in a TOML file (examples/kinetics/); the "
                         "parameter file's NCOMP must be their number of constituents")
    pr.add_argument("--netcdf", metavar="FILE", help="write the run to FILE as NetCDF-4")
    pr.add_argument("--stations", metavar="X1,X2,...",
                    help="station positions, file length units")
    pr.add_argument("--stations-csv", metavar="FILE",
                    help="the station series as a CSV file (time, station, constituents)")
    pr.add_argument("--budget", metavar="FILE",
                    help="the mass budget of every output interval as a CSV file (and into "
                         "the NetCDF file)")
    pr.add_argument("--constituents", metavar="SPEC",
                    help="names and units, name:unit,... or a file holding that list")
    pr.add_argument("--length-unit", dest="length_unit", metavar="UNIT",
                    help="unit of the positions for the result files")
    pr.set_defaults(func=run_command)
    pp = sub.add_parser("plot", help="figures of a run's NetCDF file, as PNG and SVG")
    pp.add_argument("run", help="the NetCDF file of a run")
    pp.add_argument("--out", default=".", help="folder for the figures (default: .)")
    pp.add_argument("--stem", help="start of the figure file names (default: the file's name)")
    pp.add_argument("--formats", default="png,svg")
    pp.add_argument("--which", help="profiles,grid,stations,budget (default: all the file has)")
    pp.add_argument("--times", help="output times of the profiles, days")
    pp.add_argument("--constituents", help="constituents to show (default: all)")
    pp.set_defaults(func=plot_command)
    return p


def main(argv: Optional[Sequence[str]] = None) -> int:
    """Runs the command line; returns the exit status."""
    a = parser().parse_args(argv)
    return a.func(a)


if __name__ == "__main__":
    sys.exit(main())
