"""One run of a scenario, as an xarray Dataset laid out like the NetCDF file.

The engine's recorder fills a run record with the same dimensions,
variables, units and attributes as the NetCDF file ``qz5 --netcdf`` writes;
this module turns it into a Dataset exactly as xarray reads that file with
``xr.open_dataset(path, decode_times=False)``: variables named after their
dimension (time, station_time, interval) and those a ``coordinates``
attribute names (x, station_x) become coordinates, and times stay plain
days (model time has no calendar date).
"""
import numpy as np
import xarray as xr

from . import _core
from .errors import Interrupted, RunError, ScenarioError, WriteError

# The largest step limit the engine takes (a C long).
_MAX_STEPS = 2**63 - 1


def _constituent_spec(constituents):
    """'name:unit,...' from a text, a list of 'name[:unit]' texts or of
    (name, unit) pairs."""
    if constituents is None:
        return ""
    if isinstance(constituents, str):
        return constituents
    parts = []
    for c in constituents:
        parts.append(":".join(c) if isinstance(c, (tuple, list)) else str(c))
    return ",".join(parts)


def run_args(rtol=None, atol=None, tau=None, kappa=None, alpha=None,
             max_steps_per_interval=None, observe_steps=False, legacy_capacities=False,
             profiles=True, stations=None, budget=False, constituents=None, length_unit=None,
             nonnegative="clip", position_tolerance=None, jacobian="differences"):
    """The engine's options and what to record, as the binding takes them."""
    a = _core.RunArgs()
    a.rtol, a.atol, a.tau, a.kappa, a.alpha = rtol, atol, tau, kappa, alpha
    if max_steps_per_interval is not None:
        a.max_steps_per_interval = _step_limit(max_steps_per_interval)
    a.nonnegative = str(nonnegative)
    a.jacobian = str(jacobian)
    if position_tolerance is not None:
        a.position_rtol, a.position_atol = (float(v) for v in position_tolerance)
    a.observe_steps = bool(observe_steps)
    a.legacy_capacities = bool(legacy_capacities)
    a.profiles = bool(profiles)
    a.stations = _positions(stations)
    a.budget = bool(budget)
    a.constituents = _constituent_spec(constituents)
    a.length_unit = length_unit or ""
    return a


def _step_limit(value):
    """The step limit as the engine takes it, or ScenarioError saying why not."""
    try:
        n = int(value)
        whole = n == value
    except (TypeError, ValueError, OverflowError):
        whole = False
    if not whole or not 0 <= n <= _MAX_STEPS:
        raise ScenarioError(f"max_steps_per_interval: {value!r} is not a whole number from 0 "
                            f"(the default) to {_MAX_STEPS}", "max_steps_per_interval")
    return n


def _positions(stations):
    """Station positions as a list of floats, or ScenarioError saying why not."""
    if stations is None:
        return []
    try:
        a = np.asarray(stations)
        if a.ndim > 1:
            raise ValueError(f"an array of shape {a.shape}; a list of positions is needed")
        if np.iscomplexobj(a):
            raise ValueError("complex numbers; positions are real")
        return [float(x) for x in np.atleast_1d(a)]
    except (TypeError, ValueError) as e:
        raise ScenarioError(f"stations: {e}", "stations") from None


def record_to_dataset(record):
    """The Dataset of a run record (a dict from the binding)."""
    variables = {name: xr.Variable(tuple(dims), np.asarray(data), attrs=dict(attrs))
                 for name, dims, attrs, data in record["variables"]}
    attributes = {k: (np.int32(v) if isinstance(v, int) else v)
                  for k, v in record["attributes"].items()}
    raw = xr.Dataset(variables, attrs=attributes)
    # decode_cf wraps the values for lazy reading; they are in memory already.
    ds = xr.decode_cf(raw, decode_times=False).load()
    unlimited = {name for name, size, unl in record["dimensions"] if unl}
    ds.encoding["unlimited_dims"] = unlimited
    return ds


def budget_term(ds, name, term):
    """One term of a constituent's mass budget, per output interval: e.g.
    ``budget_term(ds, "salinity", "lateral_load")``. The budget of a
    constituent is one variable ``budget_<name>(interval, term)`` whose terms
    ``term_name`` labels (mass_start, mass_end, change, in_left_advective,
    ..., closing_error, moving_grid, lateral_load_specified)."""
    terms = [str(t) for t in ds["term_name"].values]
    return ds[f"budget_{name}"].isel(term=terms.index(term))


def write_record(record, path):
    """Writes a run record to a NetCDF file as it is: its dimensions (the
    unlimited ones unlimited), variables and attributes, doubles as NC_DOUBLE,
    integer attributes as NC_INT, texts as NC_CHAR."""
    import netCDF4

    with netCDF4.Dataset(str(path), "w", format="NETCDF4") as nc:
        for name, size, unlimited in record["dimensions"]:
            nc.createDimension(name, None if unlimited else size)
        for name, dims, attrs, data in record["variables"]:
            text = np.asarray(data).dtype == object
            v = nc.createVariable(name, str if text else "f8", tuple(dims),
                                  **({} if text else {"fill_value": False}))
            for key, value in attrs.items():
                v.setncattr(key, np.int32(value) if isinstance(value, int) else value)
            if np.asarray(data).size:
                v[...] = data
        for key, value in record["attributes"].items():
            nc.setncattr(key, np.int32(value) if isinstance(value, int) else value)


def run(scenario, stations=None, budget=False, *, constituents=None, length_unit=None,
        profiles=True, path=None, raise_on_failure=True, **options):
    """Runs the scenario and returns its results as an xarray Dataset.

    stations: positions (file length units) whose series are recorded after
    every accepted step; budget: the mass budget of each output interval;
    constituents: names and units, e.g. ``"salinity:psu,DOC:umol/L"`` or a
    list of ``("salinity", "psu")`` pairs (c1..c6 in "file units" otherwise);
    length_unit: the unit of positions ("file length units" otherwise);
    path: also write the run's NetCDF file (with the executable's writer
    when this build has it, else through the netCDF4 package).

    Engine options: rtol, atol, tau, kappa, alpha (override the scenario's),
    max_steps_per_interval, observe_steps, legacy_capacities, nonnegative
    ("clip", the legacy treatment of INFO10 = 1, or "project": small negative
    values set to zero and steps going further below rejected, so that coarse
    grids do not crawl), position_tolerance ((rtol, atol) of the grid
    positions alone, in model length units), jacobian ("differences" or
    "exact": the iteration matrix from the residual's derivatives).

    A run that stops or whose integration fails raises
    :class:`qz5.errors.RunError` carrying the system's message, with what was
    computed up to the failure in its ``dataset``; with
    ``raise_on_failure=False`` that Dataset is returned instead (its
    attributes ``status``, ``exit_status`` and ``failure_message`` say what
    happened). Bad fields raise :class:`qz5.errors.ScenarioError` before the
    run starts. A NetCDF file that cannot be written raises
    :class:`qz5.errors.WriteError` (an OSError) with the whole computed
    Dataset in its ``dataset``; Ctrl-C stops the run between two steps and
    raises :class:`qz5.errors.Interrupted` (a KeyboardInterrupt) with what was
    computed so far in its ``dataset``.
    """
    args = run_args(stations=stations, budget=budget, constituents=constituents,
                    length_unit=length_unit, profiles=profiles, **options)
    if path is not None and _core.HAVE_NETCDF:
        # Written as the run advances, by the executable's own writer.
        args.path = str(path)
    raw = _core.run(scenario, args)
    record = raw["record"]
    ds = record_to_dataset(record)
    partial = ds if "time" in ds.dims and ds.dims["time"] > 0 else None
    if raw["interrupted"]:
        raise Interrupted("Interrupted: the run stopped after its last completed step; "
                          "e.dataset holds what it computed", partial)
    if raw["write_error"]:
        raise WriteError(raw["write_error"], ds)
    if path is not None and not _core.HAVE_NETCDF:
        write_record(record, path)
    summary = raw["summary"]
    if summary["status"] != 0 and raise_on_failure:
        raise RunError(summary["failure"], summary["status"], summary["console"], partial)
    return ds
