"""Declared kinetics: any constituents, any reactions.

    k = qz5.Kinetics.from_file("examples/kinetics/bod_do.toml")
    k.parameters                      # {'kd': 0.35, 'ka': 0.8, ...}
    s = qz5.Scenario.from_names_file("bod_do.fn", kinetics=k)
    s.parameters["kd"] = 0.4          # a new Kinetics with kd changed, on s only
    s.parameters["depth"] = [(0.0, 1.2), (12000.0, 2.5)]   # linear in x along the channel

The file format is described in examples/kinetics/README.md. A Kinetics is
immutable: :meth:`Kinetics.with_parameter` returns a changed copy. A file
that cannot be read, or is malformed, raises :class:`qz5.errors.InputError`
naming the file, the line and the reason.
"""
import os

import numpy as np

from . import _core
from .errors import ScenarioError


def _restore(text, source, folder, values, tables=None):
    k = _core.Kinetics._read_text(text, source, folder)
    for name, value in values.items():
        k = k.with_parameter(name, value)
    for name, (x, v) in (tables or {}).items():
        k = k.with_table(name, x, v)
    return Kinetics(k)


def table_rows(name, value):
    """(positions, values) of a parameter's table given as (x, value) pairs
    or as an array of two columns; ScenarioError saying why not."""
    try:
        rows = np.asarray(value, dtype=float)
    except (TypeError, ValueError) as e:
        raise ScenarioError(f"parameters: parameter {name}: a table must hold numbers ({e})",
                            "parameters") from None
    if rows.ndim != 2 or rows.shape[1] != 2:
        raise ScenarioError(f"parameters: parameter {name}: a table is a list of (x, value) "
                            f"pairs or an array of 2 columns, not an array of shape {rows.shape}",
                            "parameters")
    return rows[:, 0].tolist(), rows[:, 1].tolist()


class Kinetics:
    """Declared kinetics (constituents, parameters, forcings, definitions, rates)."""

    __slots__ = ("_k",)

    def __init__(self, core):
        self._k = core

    @classmethod
    def from_file(cls, path):
        """Reads a kinetics file; forcing files are found beside it."""
        return cls(_core.Kinetics._read_file(os.fspath(path)))

    @classmethod
    def from_string(cls, text, folder=None, source="<string>"):
        """Reads kinetics from text; forcing files are found in ``folder``
        (default: the working folder)."""
        folder = os.fspath(folder) if folder is not None else os.getcwd()
        return cls(_core.Kinetics._read_text(text, source, folder))

    @property
    def title(self):
        return self._k.title

    @property
    def source(self):
        return self._k.source

    @property
    def ncomp(self):
        return self._k.ncomp

    @property
    def constituents(self):
        """[{'name', 'unit', 'transported'}, ...] in the order of the file."""
        return self._k.constituents

    @property
    def names(self):
        return [c["name"] for c in self._k.constituents]

    @property
    def parameters(self):
        """{name: value}; None for a parameter that varies along the channel."""
        return self._k.parameters

    @property
    def parameter_info(self):
        """{name: {'value', 'unit', 'min', 'max', 'description'[, 'table']}}."""
        return self._k.parameter_info

    @property
    def tables(self):
        """{name: array of (x, value) rows} of the parameters that vary along
        the channel."""
        return {n: np.array(i["table"], dtype=float).reshape(-1, 2)
                for n, i in self._k.parameter_info.items() if "table" in i}

    @property
    def forcings(self):
        return self._k.forcings

    @property
    def definitions(self):
        return self._k.definitions

    @property
    def rates(self):
        return self._k.rates

    def with_parameter(self, name, value):
        """A copy with one parameter changed, checked against its min .. max.

        ``value`` is a number, or, for a parameter linear in x along the
        channel, its table: (x, value) pairs or an array of two columns,
        positions increasing (a constant parameter may be given one too; one
        row holds its value everywhere). A parameter that has a table takes
        only a table.
        """
        if isinstance(value, (str, bytes)) or np.ndim(value) == 0:
            return Kinetics(self._k.with_parameter(name, float(value)))
        return Kinetics(self._k.with_table(name, *table_rows(name, value)))

    def with_parameters(self, values):
        k = self
        for name, value in dict(values).items():
            k = k.with_parameter(name, value)
        return k

    def bounds(self, name):
        """(min, max) of a parameter, the default bounds of a calibration."""
        info = self._k.parameter_info[name]
        return info["min"], info["max"]

    def __reduce__(self):
        # Read again from its text where it is unpickled (forcing files are
        # looked for in the same folder), with the values of now.
        values = {n: v for n, v in self.parameters.items() if v is not None}
        tables = {n: (t[:, 0].tolist(), t[:, 1].tolist()) for n, t in self.tables.items()}
        return (_restore, (self._k.text, self._k.source, self._k.folder, values, tables))

    def __eq__(self, other):
        return (isinstance(other, Kinetics) and self._k.text == other._k.text
                and self.parameters == other.parameters
                and self._k.parameter_info == other._k.parameter_info)

    def __repr__(self):
        return (f"<qz5.Kinetics {self.title or self.source!r}: "
                f"{', '.join(self.names)}; parameters {', '.join(self.parameters)}>")
