"""Command line of the qz5 package.

    python3 -m qz5 plot RUN.nc [--out DIR] [--formats png,svg] [--which profiles,grid,...]
                               [--times 0,40,120] [--constituents c1,c4]
    python3 -m qz5 run NAMES.fn --netcdf RUN.nc [--stations 5000,15000] [--budget]
                               [--constituents salinity:psu,...] [--length-unit m]
"""
import argparse
import os
import sys


def _floats(text):
    return [float(v) for v in text.split(",") if v.strip()]


def _names(text):
    return [v.strip() for v in text.split(",") if v.strip()]


def plot_command(a):
    import xarray as xr

    from . import plot

    ds = xr.open_dataset(a.run, decode_times=False)
    stem = a.stem or os.path.splitext(os.path.basename(a.run))[0]
    paths = plot.save_all(ds, a.out, stem, formats=_names(a.formats),
                          which=_names(a.which) if a.which else None,
                          times=_floats(a.times) if a.times else None,
                          names=_names(a.constituents) if a.constituents else None)
    for p in paths:
        print(p)
    return 0


def run_command(a):
    from . import Qz5Error, Scenario, run

    try:
        s = Scenario.from_names_file(a.names)
        ds = run(s, stations=_floats(a.stations) if a.stations else None, budget=a.budget,
                 constituents=a.constituents, length_unit=a.length_unit, path=a.netcdf,
                 raise_on_failure=False)
    except Qz5Error as e:
        print(e.message, file=sys.stderr)
        return e.status
    print(f"{a.netcdf}: {ds.attrs['status']}, {ds.attrs['message']}")
    return int(ds.attrs["exit_status"])


def main(argv=None):
    p = argparse.ArgumentParser(prog="python3 -m qz5", description=__doc__.splitlines()[0])
    sub = p.add_subparsers(dest="command", required=True)
    pp = sub.add_parser("plot", help="figures of a run's NetCDF file, as PNG and SVG")
    pp.add_argument("run", help="the NetCDF file of a run")
    pp.add_argument("--out", default=".", help="folder for the figures (default: .)")
    pp.add_argument("--stem", help="start of the figure file names (default: the file's name)")
    pp.add_argument("--formats", default="png,svg")
    pp.add_argument("--which", help="profiles,grid,stations,budget (default: all the file has)")
    pp.add_argument("--times", help="output times of the profiles, days")
    pp.add_argument("--constituents", help="constituents to show (default: all)")
    pp.set_defaults(func=plot_command)
    pr = sub.add_parser("run", help="run a names file into a NetCDF file")
    pr.add_argument("names", help="the names file")
    pr.add_argument("--netcdf", required=True, help="the NetCDF file to write")
    pr.add_argument("--stations", help="station positions, file length units")
    pr.add_argument("--budget", action="store_true", help="record the mass budget")
    pr.add_argument("--constituents", help="names and units: salinity:psu,DOC:umol/L,...")
    pr.add_argument("--length-unit", dest="length_unit")
    pr.set_defaults(func=run_command)
    a = p.parse_args(argv)
    return a.func(a)


if __name__ == "__main__":
    sys.exit(main())
