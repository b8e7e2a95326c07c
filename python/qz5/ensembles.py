"""Ensembles: many variants of one scenario on Dask distributed.

    ds = qz5.ensemble(base, [{"rxpar[1]": 1.0}, {"rxpar[1]": 1.4}, {}])

Each member is the base scenario with some parameters set (an empty dict is
the base itself). The members run on the workers of a Dask distributed
cluster - a LocalCluster on this machine when no client is given, or the
cluster whose scheduler address (or Client) is given - and come back as one
Dataset with a ``member`` dimension, laid out like a single run's Dataset:

- profiles (time, point), the grid positions x (member, time, point);
- station series at the output times (every member steps differently, so
  the series are taken where all members have exact samples), or at
  ``station_times`` by linear interpolation between the samples;
- the mass budget per output interval;
- per member: ``status`` ("complete", "failed", "stopped", "refused" when
  its parameter values were refused, or "incompatible" when they gave it
  another grid size, npts: such a member keeps its status and message, its
  values are NaN, and it is to be run on its own), ``exit_status``, ``message``,
  ``failure_message`` and the integrator counters; the values of every
  varied parameter as coordinates (``rxpar[7]`` becomes ``rxpar_7``).

A failed member keeps what it computed before failing (NaN after); the
others are unaffected.
"""
from __future__ import annotations

import contextlib
import math
import os
import sys
from typing import Any, Callable, Mapping, Optional, Sequence

import numpy as np
import xarray as xr

from . import _core
from .errors import Qz5Error
from .results import record_to_dataset, run_args, station_list
from .scenario import parse_name

# Run-describing attributes that become per-member variables.
_PER_MEMBER = ("status", "exit_status", "message", "failure_message", "idid", "t_reached",
               "outputs_done", "integrator_steps", "integrator_residual_evaluations",
               "integrator_matrix_evaluations", "integrator_error_test_failures",
               "integrator_convergence_failures")


def member_table(members: Any) -> tuple[list[dict], list]:
    """The members as a list of dicts and their labels (a DataFrame's index,
    else 0..n-1)."""
    try:
        import pandas as pd
    except ImportError:  # pragma: no cover - pandas is a dependency
        pd = None
    if pd is not None and isinstance(members, pd.DataFrame):
        rows = []
        for _, row in members.iterrows():
            rows.append({k: v for k, v in row.items() if not _is_missing(v)})
        return rows, list(members.index)
    rows = [dict(m or {}) for m in members]
    return rows, list(range(len(rows)))


def _is_missing(v):
    return isinstance(v, float) and math.isnan(v)


def coordinate_name(name: str) -> str:
    """A parameter name as a variable name: rxpar[7] -> rxpar_7; the name of
    a declared kinetics parameter as it is."""
    try:
        field, index = parse_name(name)
    except KeyError:
        if name.isidentifier():
            return name
        raise
    return field if index is None else field + "_" + "_".join(str(i) for i in index)


def run_members(base: Any, batch: Sequence[tuple[Any, Mapping[str, Any]]],
                kwargs: Mapping[str, Any]) -> list[dict]:
    """Runs members (label, values) of the base scenario in this process;
    returns one result dict per member. Runs on the workers."""
    out = []
    for label, values in batch:
        try:
            s = base.copy()
            s.update(values)
            raw = _core.run(s, run_args(**kwargs))
            out.append({"label": label, "record": raw["record"], "summary": raw["summary"],
                        "seconds": raw["engine_seconds"]})
        except Exception as e:  # noqa: BLE001 - a member's fault must not end the ensemble
            why = str(e.args[0] if e.args else e)
            if not isinstance(e, Qz5Error):
                why = f"{type(e).__name__}: {why}"
            out.append({"label": label, "refused": why})
    return out


def _batches(items, size):
    return [items[i:i + size] for i in range(0, len(items), size)]


@contextlib.contextmanager
def _main_module_hidden():
    """While worker processes start, the calling program's main module looks
    like an interactive session's.

    The local cluster starts its workers with multiprocessing's "spawn",
    which runs the parent's main module again in every worker: a script
    without an ``if __name__ == "__main__":`` guard then starts clusters
    inside the workers, and a script read from standard input cannot be
    found at all ("No valid workers found"). The workers need only qz5, so
    they are started as from an interactive session, which spawn leaves
    alone; a notebook and ``python3 -c`` are such sessions already.
    """
    main = sys.modules.get("__main__")
    saved = {}
    for name in ("__file__", "__spec__"):
        if main is not None and getattr(main, name, None) is not None:
            saved[name] = getattr(main, name)
            setattr(main, name, None)
    try:
        yield
    finally:
        for name, value in saved.items():
            setattr(main, name, value)


def _local_cluster(n_workers):
    from dask.distributed import Client, LocalCluster

    # Workers import the same qz5 as this process, wherever it was found.
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = os.pathsep.join([here] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep)
                                     if p])
    with _main_module_hidden():
        cluster = LocalCluster(n_workers=n_workers, threads_per_worker=1, processes=True,
                               dashboard_address=":0", env={"PYTHONPATH": path})
    return Client(cluster), cluster


def connect(client: Any = None,
            n_workers: Optional[int] = None) -> tuple[Any, Callable[[], None]]:
    """(client, closer): the given Client, a Client for a scheduler address,
    or a new LocalCluster of n_workers processes (default: one per core, at
    most 2 when not given). closer() closes only what was opened here."""
    if client is not None and not isinstance(client, str):
        return client, lambda: None
    if isinstance(client, str):
        from dask.distributed import Client

        c = Client(client)
        return c, c.close
    n = n_workers or max(1, min(2, os.cpu_count() or 1))
    c, cluster = _local_cluster(n)

    def close():
        c.close()
        cluster.close()

    return c, close


def ensemble(base: Any, members: Any, client: Any = None, *, n_workers: Optional[int] = None,
             batch_size: Optional[int] = None, stations: Any = None, budget: bool = False,
             station_times: Optional[Sequence[float]] = None, constituents: Any = None,
             length_unit: Optional[str] = None, **options: Any) -> xr.Dataset:
    """Runs the members and returns one Dataset with a ``member`` dimension.

    Parameters
    ----------
    base : qz5.Scenario
        The scenario every member starts from.
    members : list of dict, or pandas.DataFrame
        ``{parameter name: value}`` per member, or a DataFrame whose columns
        are parameter names (one row per member; NaN leaves the base value).
        Names count from 1: ``"rxpar[4]"`` is RXPAR(4), the array's
        ``s.rxpar[3]``.
    client : optional
        None (a LocalCluster of ``n_workers`` processes, closed afterwards),
        a dask.distributed Client, or a scheduler address such as
        ``"tcp://host:8786"``.
    n_workers : int, optional
        Worker processes of the LocalCluster.
    batch_size : int, optional
        Members per Dask task (default: enough tasks to keep every worker
        busy, few enough to keep the scheduler's share small).
    stations, budget, constituents, length_unit, **options
        As for :func:`qz5.run`; stations given as ``{name: position}`` are
        indexed by name.
    station_times : sequence of float, optional
        Days at which to take the station series (linear between each
        member's samples); by default the output times.

    Returns
    -------
    xarray.Dataset
        The members' Datasets along ``member`` (indexed by the members'
        labels), with per member ``status``, ``exit_status``, ``message``,
        ``failure_message`` and the integrator counters, and the varied
        parameters as coordinates (``rxpar[7]`` becomes ``rxpar_7``).
    """
    rows, labels = member_table(members)
    positions, names = station_list(stations)
    kwargs = dict(options, stations=positions, budget=budget, constituents=constituents,
                  length_unit=length_unit)
    run_args(**kwargs)  # refuses unknown options here, not on every worker
    items = list(zip(labels, rows))
    c, close = connect(client, n_workers)
    try:
        threads = max(1, sum(c.nthreads().values()))
        # Members differ in cost (a bloom can take ten times the steps), so
        # several small tasks per worker keep them all busy to the end.
        size = batch_size or max(1, min(5, len(items) // (8 * threads)))
        base_future = c.scatter(base, broadcast=True)
        futures = [c.submit(run_members, base_future, b, kwargs, pure=False)
                   for b in _batches(items, size)]
        results = [r for batch in c.gather(futures) for r in batch]
    finally:
        close()
    out = combine(base, results, rows, labels, station_times=station_times)
    return out.assign_coords(station=names) if names and "station" in out.dims else out


def _expected_times(base):
    days = base.tunit_day / base.tunit_model
    return np.concatenate([[base.tstart * days], np.asarray(base.touts) * days])


def _align(ds, times, station_times):
    """A member's Dataset on the ensemble's common axes."""
    # A run that fails where it starts saves the start time twice.
    for dim in ("time", "station_time", "interval"):
        if dim in ds.dims:
            _, first = np.unique(ds[dim].values, return_index=True)
            if len(first) < ds.sizes[dim]:
                ds = ds.isel({dim: np.sort(first)})
    if "time" in ds.dims:
        ds = ds.reindex(time=times)
    if "interval" in ds.dims:
        ds = ds.reindex(interval=times[1:])
    if "station_time" in ds.dims:
        if station_times is None:
            ds = ds.reindex(station_time=times)
        else:
            ds = ds.interp(station_time=station_times)
    return ds


def _nan_like(template):
    ds = template.copy(deep=True)
    for name in list(ds.data_vars) + ["x"]:
        if name in ds.variables and name not in ds.indexes and name not in ("station_x",):
            ds[name] = ds[name].where(False)
    return ds


def combine(base: Any, results: Sequence[dict], rows: Sequence[Mapping[str, Any]],
            labels: Sequence[Any], station_times: Optional[Sequence[float]] = None) -> xr.Dataset:
    """Assembles the members' results (from run_members) into one Dataset."""
    times = _expected_times(base)
    by_label = {r["label"]: r for r in results}
    datasets, attrs = [], []
    for label in labels:
        r = by_label[label]
        if "refused" in r:
            datasets.append(None)
            attrs.append({"status": "refused", "exit_status": 1, "message": r["refused"],
                          "failure_message": r["refused"]})
            continue
        ds = record_to_dataset(r["record"])
        a = dict(ds.attrs)
        if r["summary"]["status"] != 0:
            # The stop text and the console lines that explain it.
            a["failure_message"] = r["summary"]["failure"]
        attrs.append(a)
        ds.attrs = {}
        datasets.append(_align(ds, times, station_times) if "time" in ds.dims else None)
    full = [d for d in datasets if d is not None]
    if not full:
        raise Qz5Error("no member of the ensemble produced results: " +
                       "; ".join(str(a.get("failure_message", a.get("message"))) for a in attrs))
    template = _template(full, base)
    for i, d in enumerate(datasets):
        if d is not None and not _fits(d, template):
            # Another grid (npts): its arrays cannot share the member dimension.
            attrs[i] = dict(attrs[i], status="incompatible", message=(
                f"its grid of {d.sizes.get('point')} points differs from the ensemble's "
                f"{template.sizes.get('point')}; run it on its own with qz5.run"))
            attrs[i]["failure_message"] = attrs[i]["message"]
            datasets[i] = None
    datasets = [d if d is not None and set(d.variables) == set(template.variables)
                else _nan_like(template) for d in datasets]
    import pandas as pd

    member = pd.Index(labels, name="member")
    coords = ["x"] if "x" in template.coords else []
    out = xr.concat(datasets, dim=member, data_vars="all", coords=coords, compat="equals",
                    join="exact", combine_attrs="drop")
    # combine_attrs drops the variables' attributes too: units and long names
    # travel with the variables, as in a single run's Dataset.
    for name, var in template.variables.items():
        if name in out.variables:
            out[name].attrs = dict(var.attrs)
    _member_attributes(out, attrs)
    _parameter_coordinates(out, base, rows)
    return out


def _sizes_of(ds):
    return {d: n for d, n in ds.sizes.items() if d not in ("time", "station_time", "interval")}


def _fits(ds, template):
    return _sizes_of(ds) == _sizes_of(template)


def _template(full, base):
    """The member whose layout the ensemble takes: one on the base
    scenario's grid when there is one (else the most common grid), with the
    most variables."""
    def grid(d):
        return d.sizes.get("point")

    grids = [grid(d) for d in full]
    wanted = base.npts if base.npts in grids else max(set(grids), key=grids.count)
    return max((d for d in full if grid(d) == wanted), key=lambda d: len(d.variables))


def _member_attributes(out, attrs):
    keys = []
    for a in attrs:
        keys += [k for k in a if k not in keys]
    for k in keys:
        values = [a.get(k) for a in attrs]
        present = [v for v in values if v is not None]
        same = len(present) == len(values) and all(_equal(v, present[0]) for v in present)
        if same and k not in _PER_MEMBER:
            out.attrs[k] = present[0]
            continue
        if all(isinstance(v, str) for v in present):
            out[k] = ("member", np.array(["" if v is None else v for v in values], dtype=object))
        else:
            out[k] = ("member", np.array([np.nan if v is None else v for v in values], dtype=float))
        if k == "status":
            out[k].attrs["long_name"] = ("how the member's run ended: complete, failed, stopped, "
                                         "refused (its parameter values were refused), or "
                                         "incompatible (it ran on another grid; its values are "
                                         "NaN here)")
    if "failure_message" not in out:
        out["failure_message"] = ("member", np.array([""] * len(attrs), dtype=object))


def _equal(a, b):
    return type(a) is type(b) and a == b


def _number(v):
    """A parameter value as a float, NaN when it is none (a refused member's
    text, say); None for an array."""
    if np.ndim(v) != 0:
        return None
    try:
        return float(v)
    except (TypeError, ValueError):
        return math.nan


def _parameter_coordinates(out, base, rows):
    """The varied parameters as coordinates; names that are no field of the
    scenario (their members were refused) and array values are left out."""
    names = []
    for r in rows:
        names += [n for n in r if n not in names]
    for name in names:
        try:
            cname = coordinate_name(name)
            base_value = base.get(name)
        except (KeyError, IndexError, ValueError):
            continue
        values = [_number(r.get(name, base_value)) for r in rows]
        if any(v is None for v in values):
            continue
        out.coords[cname] = ("member", np.array(values))
        out.coords[cname].attrs["long_name"] = f"value of {name} in the member"
