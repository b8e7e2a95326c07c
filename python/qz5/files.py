"""Files the command line reads and writes as the executable does: the
channel table of ``--geometry``, the constituent list of ``--constituents``
and the CSV files of ``--stations-csv`` and ``--budget``.

The CSV files hold the same columns, in the same order and with the same
number formatting (the shortest text that reads back to the same double,
fixed or scientific whichever is shorter) as the executable's, so a run
from Python and the executable's run of the same scenario give the same
bytes.
"""
from __future__ import annotations

import decimal
import os
import re
from typing import Union

import numpy as np
import xarray as xr

PathLike = Union[str, "os.PathLike[str]"]

_SEPARATORS = re.compile(r"[\s,]+")


class FileError(ValueError):
    """A file that cannot be read as its format says; the message names the
    file and the line."""


def shortest(v: float) -> str:
    """The shortest text that reads back as ``v``, in fixed notation or in
    scientific notation (``1e-05``, ``1.5e+16``), whichever is shorter,
    fixed on a tie; as C++'s ``std::to_chars(first, last, v)`` writes it.

    >>> shortest(100.0), shortest(1e-5), shortest(0.001), shortest(1.5e16)
    ('100', '1e-05', '0.001', '1.5e+16')
    """
    v = float(v)
    if not np.isfinite(v):
        return "nan" if np.isnan(v) else ("inf" if v > 0 else "-inf")
    if v == 0.0:
        return "-0" if np.signbit(v) else "0"
    sign, digits, exponent = decimal.Decimal(repr(v)).as_tuple()
    text = "".join(map(str, digits)).rstrip("0") or "0"
    # The value is 0.<text> * 10**point.
    point = len(digits) + exponent
    if point <= 0:
        fixed = "0." + "0" * (-point) + text
    elif point >= len(text):
        # An integral value: its exact digits, as to_chars writes them.
        fixed = str(abs(int(v)))
    else:
        fixed = text[:point] + "." + text[point:]
    e = point - 1
    mantissa = text[0] + ("." + text[1:] if len(text) > 1 else "")
    scientific = f"{mantissa}e{'-' if e < 0 else '+'}{abs(e):02d}"
    best = fixed if len(fixed) <= len(scientific) else scientific
    return ("-" if sign else "") + best


def _number(token: str, path: PathLike, line: int) -> float:
    try:
        return float(token.replace("d", "e").replace("D", "E"))
    except ValueError:
        raise FileError(f'Error reading file "{path}", line {line}: "{token}" is not a valid '
                        "real") from None


def read_geometry(path: PathLike) -> np.ndarray:
    """The channel table of a geometry file, as the executable's
    ``--geometry FILE`` reads it.

    Parameters
    ----------
    path : str or path-like
        A title line, then rows of position (file length units), area
        (their square) and dispersion (their square per day); values
        separated by blanks or commas, a row's three values possibly over
        several lines, the rest of a row's last line skipped (a comment).

    Returns
    -------
    numpy.ndarray
        One row per table row: position, area, dispersion; for
        :attr:`qz5.Scenario.geometry`, which checks the values.

    Raises
    ------
    FileError
        A value that is not a number, or a row cut short, naming the line.
    """
    with open(path) as f:
        lines = f.read().splitlines()[1:]
    rows, row = [], []
    for number, text in enumerate(lines, start=2):
        for token in (t for t in _SEPARATORS.split(text.strip()) if t):
            row.append(_number(token, path, number))
            if len(row) == 3:
                break
        if len(row) == 3:
            rows.append(row)
            row = []
    if row:
        raise FileError(f"Geometry::Error, a row holds fewer than three values in file {path}, "
                        f"line {len(lines) + 1}")
    return np.array(rows, dtype=float).reshape(-1, 3)


def constituent_spec(spec: str) -> str:
    """``name:unit,...`` given as such or as a file holding that list (one
    entry a line allowed, ``#`` starts a comment), as ``--constituents``
    takes it."""
    if not os.path.isfile(spec):
        return spec
    entries = []
    with open(spec) as f:
        for line in f:
            text = line.split("#", 1)[0].strip()
            entries += [e.strip() for e in text.split(",") if e.strip()]
    return ",".join(entries)


def _names_with_prefix(ds: xr.Dataset, prefix: str) -> list[str]:
    skip = {"station_x", "station_time", "station_name"}
    return [str(n)[len(prefix):] for n in ds.data_vars
            if str(n).startswith(prefix) and str(n) not in skip and len(str(n)) > len(prefix)]


def write_stations_csv(ds: xr.Dataset, path: PathLike) -> None:
    """The station series as the executable's ``--stations-csv FILE``
    writes them: ``time,station,<constituents>``, one row per sample and
    station, the station given by its position."""
    names = _names_with_prefix(ds, "station_")
    t = ds["station_time"].values
    x = ds["station_x"].values
    values = [ds[f"station_{n}"].transpose("station_time", "station").values for n in names]
    with open(path, "w") as f:
        f.write(",".join(["time", "station"] + names) + "\n")
        for i in range(len(t)):
            for j in range(len(x)):
                f.write(",".join([shortest(t[i]), shortest(x[j])] +
                                 [shortest(v[i, j]) for v in values]) + "\n")


def write_budget_csv(ds: xr.Dataset, path: PathLike) -> None:
    """The mass budget as the executable's ``--budget FILE`` writes it:
    ``t_start,t_end,constituent,<terms>``, one row per output interval and
    constituent."""
    names = _names_with_prefix(ds, "budget_")
    bounds = ds["interval_bounds"].values
    terms = [str(t) for t in ds["term_name"].values]
    with open(path, "w") as f:
        f.write(",".join(["t_start", "t_end", "constituent"] + terms) + "\n")
        for i in range(len(bounds)):
            for n in names:
                b = ds[f"budget_{n}"].transpose("interval", "term").values[i]
                f.write(",".join([shortest(bounds[i, 0]), shortest(bounds[i, 1]), n] +
                                 [shortest(v) for v in b]) + "\n")
