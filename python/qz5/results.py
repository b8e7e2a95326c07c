"""One run of a scenario, as an xarray Dataset laid out like the NetCDF file.

The engine's recorder fills a run record with the same dimensions,
variables, units and attributes as the NetCDF file ``qz5 --netcdf`` writes;
this module turns it into a Dataset as :func:`open_dataset` reads that file:

- variables named after their dimension (``time``, ``station_time``,
  ``interval``) and those a ``coordinates`` attribute names (``x``,
  ``station_x``, ``term_name``) are coordinates;
- ``term`` (the budget's terms) and ``station`` carry an index of names, so
  ``ds.budget_DIN.sel(term="reaction")`` and ``ds.sel(station="mouth")``
  work; a station's name is the one given to :func:`run`, or its position as
  text (``"5000"``);
- times stay plain numbers of days, as ``xr.open_dataset(path,
  decode_times=False)`` reads them. Their units are "days", or "days since
  <date>" for a scenario file with a ``reference_date``
  (``Scenario.reference_date``). A plain ``xr.open_dataset(path)`` decodes
  them to ``timedelta64``, or to ``datetime64`` with a reference date; the
  figures of :mod:`qz5.plot` take every form and draw dates where there
  are dates.
"""
from __future__ import annotations

import os
from typing import Any, Iterable, Mapping, Optional, Sequence, Union

import numpy as np
import xarray as xr

from . import _core
from .errors import Interrupted, RunError, ScenarioError, WriteError

PathLike = Union[str, "os.PathLike[str]"]
Stations = Union[None, Sequence[float], Mapping[str, float], Sequence[tuple[str, float]]]
Constituents = Union[None, str, Sequence[str], Sequence[tuple[str, str]]]

# The largest step limit the engine takes (a C long).
_MAX_STEPS = 2**63 - 1


def _constituent_spec(constituents: Constituents) -> str:
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


def station_list(stations: Stations) -> tuple[list[float], Optional[list[str]]]:
    """Positions and names of stations given as positions, as
    ``{name: position}`` or as ``(name, position)`` pairs (names None when
    none were given)."""
    if stations is None:
        return [], None
    if isinstance(stations, Mapping):
        return [float(x) for x in stations.values()], [str(n) for n in stations]
    items = list(stations) if np.ndim(stations) else [stations]
    if items and all(isinstance(i, (tuple, list)) and len(i) == 2 and isinstance(i[0], str)
                     for i in items):
        return [float(x) for _, x in items], [n for n, _ in items]
    return _positions(items), None


def run_args(rtol: Optional[float] = None, atol: Optional[float] = None,
             tau: Optional[float] = None, kappa: Optional[float] = None,
             alpha: Optional[float] = None, max_steps_per_interval: Optional[int] = None,
             observe_steps: bool = False, legacy_capacities: bool = False, profiles: bool = True,
             stations: Stations = None, budget: bool = False, constituents: Constituents = None,
             length_unit: Optional[str] = None, nonnegative: str = "clip",
             position_tolerance: Optional[tuple[float, float]] = None,
             jacobian: str = "differences", sources: str = "midpoint",
             channel: str = "sampled", position_increments: str = "magnitude",
             position_error_test: bool = True) -> "_core.RunArgs":
    """The engine's options and what to record, as the binding takes them
    (the parameters are those of :func:`run`)."""
    a = _core.RunArgs()
    a.rtol, a.atol, a.tau, a.kappa, a.alpha = rtol, atol, tau, kappa, alpha
    if max_steps_per_interval is not None:
        a.max_steps_per_interval = _step_limit(max_steps_per_interval)
    a.nonnegative = str(nonnegative)
    a.jacobian = str(jacobian)
    a.position_increments = str(position_increments)
    a.position_error_test = bool(position_error_test)
    a.sources = str(sources)
    a.channel = str(channel)
    if position_tolerance is not None:
        a.position_rtol, a.position_atol = (float(v) for v in position_tolerance)
    a.observe_steps = bool(observe_steps)
    a.legacy_capacities = bool(legacy_capacities)
    a.profiles = bool(profiles)
    a.stations = station_list(stations)[0]
    a.budget = bool(budget)
    a.constituents = _constituent_spec(constituents)
    a.length_unit = length_unit or ""
    return a


def _step_limit(value: Any) -> int:
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


def _positions(stations: Any) -> list[float]:
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


def station_names(positions: Iterable[float]) -> list[str]:
    """Default station names: the positions as text (``5000.0`` ->
    ``"5000"``), a repeated position numbered (``"5000#2"``)."""
    names: list[str] = []
    for x in positions:
        name = f"{float(x):g}"
        n = 2
        while name in names:
            name = f"{float(x):g}#{n}"
            n += 1
        names.append(name)
    return names


def index_coordinates(ds: xr.Dataset, names: Optional[Sequence[str]] = None) -> xr.Dataset:
    """The Dataset with indexes on ``term`` (from ``term_name``) and
    ``station`` (the given names, or the positions as text).

    Nothing else changes: ``index_coordinates(ds).drop_vars(["term",
    "station"])`` is ``ds`` again.
    """
    coords: dict[str, Any] = {}
    if "term" in ds.dims and "term_name" in ds.variables and "term" not in ds.indexes:
        coords["term"] = ("term", [str(v) for v in ds["term_name"].values],
                          {"long_name": "term of the mass budget"})
    if "station" in ds.dims and "station" not in ds.indexes:
        if names is None:
            names = station_names(ds["station_x"].values if "station_x" in ds.variables
                                  else range(ds.sizes["station"]))
        if len(names) != ds.sizes["station"] or len(set(names)) != len(names):
            raise ValueError(f"station names {list(names)}: one distinct name per station needed")
        coords["station"] = ("station", [str(n) for n in names], {"long_name": "station name"})
    return ds.assign_coords(coords) if coords else ds


def open_dataset(path: PathLike, *, station_names: Optional[Sequence[str]] = None,
                 decode_times: bool = False, **kw: Any) -> xr.Dataset:
    """Opens a run's NetCDF file (the executable's or one written by
    :func:`run`) as :func:`run` returns its Dataset.

    Parameters
    ----------
    path : str or path-like
        The NetCDF file.
    station_names : sequence of str, optional
        Names for the stations; by default those :func:`run` stored in the
        file (``station_name``), else the positions as text.
    decode_times : bool, default False
        False keeps times as numbers of days, as :func:`run` does.
    **kw
        Passed on to :func:`xarray.open_dataset`.

    Returns
    -------
    xarray.Dataset
        With ``term`` and ``station`` indexed (see :func:`index_coordinates`).
    """
    ds = xr.open_dataset(path, decode_times=decode_times, **kw)
    if "station_name" in ds.variables:
        # Names that qz5.run stored beside the positions.
        stored = [str(n) for n in ds["station_name"].values]
        ds = ds.drop_vars("station_name")
        station_names = station_names or stored
    return index_coordinates(ds, station_names)


def write_station_names(path: PathLike, names: Sequence[str]) -> None:
    """Adds the stations' names to a run's NetCDF file, as a text variable
    ``station_name(station)`` that :func:`open_dataset` reads back."""
    import netCDF4

    with netCDF4.Dataset(str(path), "a") as nc:
        if "station" not in nc.dimensions or "station_name" in nc.variables:
            return
        v = nc.createVariable("station_name", str, ("station",))
        v.long_name = "station name"
        v[:] = np.array([str(n) for n in names], dtype=object)


def record_to_dataset(record: Mapping[str, Any], names: Optional[Sequence[str]] = None,
                      indexed: bool = True) -> xr.Dataset:
    """The Dataset of a run record (a dict from the binding); with
    ``indexed`` False exactly as ``xr.open_dataset(file,
    decode_times=False)`` reads the run's file, else with the indexes of
    :func:`index_coordinates`."""
    variables = {name: xr.Variable(tuple(dims), np.asarray(data), attrs=dict(attrs))
                 for name, dims, attrs, data in record["variables"]}
    attributes = {k: (np.int32(v) if isinstance(v, int) else v)
                  for k, v in record["attributes"].items()}
    raw = xr.Dataset(variables, attrs=attributes)
    # decode_cf wraps the values for lazy reading; they are in memory already.
    ds = xr.decode_cf(raw, decode_times=False).load()
    unlimited = {name for name, size, unl in record["dimensions"] if unl}
    ds.encoding["unlimited_dims"] = unlimited
    return index_coordinates(ds, names) if indexed else ds


def budget_term(ds: xr.Dataset, name: str, term: str) -> xr.DataArray:
    """One term of a constituent's mass budget per output interval.

    The same as ``ds[f"budget_{name}"].sel(term=term)``, also for a Dataset
    without the ``term`` index (a file opened with plain
    ``xr.open_dataset``).

    Parameters
    ----------
    ds : xarray.Dataset
        A run with its budget.
    name : str
        The constituent's variable name (``"salinity"``, ``"c3"``).
    term : str
        ``mass_start``, ``mass_end``, ``change``, ``in_left_advective``,
        ..., ``closing_error``, ``moving_grid``, ``lateral_load_specified``
        (the values of
        ``term_name``); mass in concentration units times volume, per
        interval.
    """
    var = ds[f"budget_{name}"]
    if "term" in var.indexes:
        return var.sel(term=term)
    terms = [str(t) for t in ds["term_name"].values]
    return var.isel(term=terms.index(term))


def write_record(record: Mapping[str, Any], path: PathLike) -> None:
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


def run(scenario: "_core.Scenario", stations: Stations = None, budget: bool = False, *,
        constituents: Constituents = None, length_unit: Optional[str] = None,
        profiles: bool = True, path: Optional[PathLike] = None, raise_on_failure: bool = True,
        **options: Any) -> xr.Dataset:
    """Runs the scenario and returns its results as an xarray Dataset.

    Parameters
    ----------
    scenario : qz5.Scenario
        The inputs; left unchanged.
    stations : sequence of float, or dict, optional
        Positions (file length units) whose series are recorded after every
        accepted step, as a list (the stations are named by their position,
        ``"5000"``) or as ``{name: position}`` (``{"mouth": 0.0}``), so that
        ``ds.sel(station="mouth")`` picks one.
    budget : bool, default False
        Record the mass budget of each output interval.
    constituents : str or sequence, optional
        Names and units, ``"salinity:psu,DOC:umol/L"`` or
        ``[("salinity", "psu"), ...]``; otherwise the names a scenario file
        gave (``Scenario.constituent_names``), else ``c1``..``c6`` in "file
        units".
    length_unit : str, optional
        The unit of positions ("file length units" otherwise).
    profiles : bool, default True
        Record the profiles at the output times.
    path : str or path-like, optional
        Also write the run's NetCDF file (with the executable's writer when
        this build has it, else through the netCDF4 package); named
        stations' names go into it as ``station_name``, which
        :func:`open_dataset` reads back.
    raise_on_failure : bool, default True
        See Raises.
    **options
        The engine's options, overriding the scenario's: ``rtol``, ``atol``
        (tolerances of the time integration), ``tau`` (model time units),
        ``kappa``, ``alpha``, ``max_steps_per_interval``, ``observe_steps``,
        ``legacy_capacities``; ``nonnegative`` ("clip", the legacy treatment
        of INFO10 = 1, or "project": small negative values set to zero and
        steps going further below rejected, so that coarse grids do not
        crawl); ``position_tolerance`` ((rtol, atol) of the grid positions
        alone, in model length units); ``jacobian`` ("differences" or
        "exact": the iteration matrix from the residual's derivatives);
        ``position_increments`` ("magnitude" or "spacing": the grid
        positions' increments in the differenced matrix set by their
        distance to their neighbours, so that fine grids do not crawl where
        a front leaves through a free outflow); ``position_error_test``
        (False: only the concentrations take part in the local error test);
        ``sources`` ("midpoint" or "exact": each lateral input's flow and load
        integrated over every grid interval, so that it delivers its load on
        any grid); ``channel`` ("sampled" or "averaged": the geometry table's
        area and effective A*D averaged over every interval, so that a step
        or detail finer than the grid is integrated).

    Returns
    -------
    xarray.Dataset
        Profiles on (time, point) with the grid positions ``x``; station
        series on (station_time, station); budgets ``budget_<name>`` on
        (interval, term); the run's description in the attributes. Times
        are numbers of days.

    Raises
    ------
    qz5.RunError
        The run stopped (status 1) or its integration failed (status 2);
        the error carries the system's message and, in ``dataset``, what
        was computed up to the failure. With ``raise_on_failure=False``
        that Dataset is returned instead (its attributes ``status``,
        ``exit_status`` and ``failure_message`` say what happened).
    qz5.ScenarioError
        A field is refused before the run starts.
    qz5.WriteError
        The NetCDF file could not be written (an OSError); the whole
        computed Dataset is in its ``dataset``.
    qz5.Interrupted
        Ctrl-C stopped the run between two steps (a KeyboardInterrupt);
        what was computed so far is in its ``dataset``.
    """
    positions, names = station_list(stations)
    args = run_args(stations=positions, budget=budget, constituents=constituents,
                    length_unit=length_unit, profiles=profiles, **options)
    if path is not None and _core.HAVE_NETCDF:
        # Written as the run advances, by the executable's own writer.
        args.path = str(path)
    raw = _core.run(scenario, args)
    record = raw["record"]
    ds = record_to_dataset(record, names)
    partial = ds if ds.sizes.get("time", 0) > 0 else None
    if raw["interrupted"]:
        raise Interrupted("Interrupted: the run stopped after its last completed step; "
                          "e.dataset holds what it computed", partial)
    if raw["write_error"]:
        raise WriteError(raw["write_error"], ds)
    if path is not None and not _core.HAVE_NETCDF:
        write_record(record, path)
    if path is not None and names is not None:
        write_station_names(path, names)
    summary = raw["summary"]
    if summary["status"] != 0 and raise_on_failure:
        raise RunError(summary["failure"], summary["status"], summary["console"], partial)
    return ds
