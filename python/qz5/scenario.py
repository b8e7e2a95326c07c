"""The scenario: every input of one run, readable and settable from Python.

Fields carry the system's own names in lower case (``npts``, ``rtol``,
``rxpar``, ``bnd_tab``, ...), in the units the model state keeps them in:
times ``tstart`` and ``touts`` in model time units, the series' own times in
days, positions and concentrations in file units. Arrays are returned as
read-only copies; change a field by assigning a whole value, or one element
through :meth:`Scenario.set` with a parameter name such as ``"rxpar[7]"``.
Bad values are refused when set, or when a run starts for relations between
fields, with a :class:`qz5.errors.ScenarioError` naming the field.
"""
import re

import numpy as np

from . import _core

_INDEXED = re.compile(r"^([a-z_][a-z0-9_]*?)(?:\[(\d+)(?:\s*,\s*(\d+))?\]|_(\d+))?$")


def parse_name(name):
    """Splits a parameter name into (field, index or None).

    ``"rtol"`` -> ("rtol", None); ``"rxpar[7]"`` and ``"rxpar_7"`` ->
    ("rxpar", (7,)); ``"bnd_tab[2,3]"`` -> ("bnd_tab", (2, 3)). Indices are
    1-based, as the system numbers RXPAR(1..19), CCONV(1..6) and its tables.
    """
    text = name.strip().lower()
    if text in _core.FIELDS:
        return text, None
    m = _INDEXED.match(text)
    if not m or m.group(1) not in _core.FIELDS:
        raise KeyError(f"{name}: no such scenario field (fields: {', '.join(_core.FIELDS)})")
    if m.group(4) is not None:
        return m.group(1), (int(m.group(4)),)
    if m.group(2) is None:
        return m.group(1), None
    if m.group(3) is None:
        return m.group(1), (int(m.group(2)),)
    return m.group(1), (int(m.group(2)), int(m.group(3)))


def _restore(cls, state, provenance=("", "", ())):
    s = cls()
    s._restore(state)
    s._set_provenance(*provenance)
    return s


class Scenario(_core.Scenario):
    """One run's inputs. See the module's documentation for the field names."""

    @classmethod
    def from_names_file(cls, path):
        """Reads a names file and every file it names.

        Names inside the names file are taken relative to the names file's
        folder and stored as absolute paths. Raises
        :class:`qz5.errors.InputError` with the reader's message.
        """
        s = cls()
        _core.read_names_file(s, str(path))
        return s

    @classmethod
    def from_file(cls, path):
        """Reads a scenario file (TOML with its CSV tables) or a legacy names
        file, told apart as the executable does (a .toml name, or TOML
        content). Raises :class:`qz5.errors.InputError` naming the file, the
        line and the column of a fault.
        """
        if not _core.is_scenario_file(str(path)):
            return cls.from_names_file(path)
        s = cls()
        _core.read_scenario_file(s, str(path))
        return s

    def to_file(self, path, constituents=None):
        """Writes the scenario as a scenario file, its tables as CSV files
        beside it; returns the paths written. ``constituents`` names them as
        ``--constituents`` does ("salinity:psu,doc,..."); by default the
        bundled estuary's names. Times are written in days (model times times
        TUNIT_DAY / TUNIT_MODEL).
        """
        return _core.write_scenario_file(self, str(path), constituents or "")

    # --- single values by name ------------------------------------------------
    def get(self, name):
        """The value of a field or of one element: ``s.get("rxpar[7]")``."""
        field, index = parse_name(name)
        value = getattr(self, field)
        if index is None:
            return value
        return float(np.asarray(value)[_zero_based(field, index, np.shape(value))])

    def set(self, name, value):
        """Sets a field or one element (``s.set("rxpar[7]", 0.35)``); checked
        as an assignment of the whole field is."""
        field, index = parse_name(name)
        if index is None:
            setattr(self, field, value)
            return
        current = np.array(getattr(self, field), dtype=float)
        current[_zero_based(field, index, current.shape)] = value
        setattr(self, field, current)

    def update(self, values=None, **kw):
        """Sets several parameters: a dict (or keyword arguments) of name -> value."""
        items = dict(values or {})
        items.update(kw)
        for name, value in items.items():
            self.set(name, value)
        return self

    def copy(self):
        """An independent copy."""
        return _restore(type(self), self._state(), self._provenance())

    def with_values(self, values):
        """A copy with the parameters of ``values`` (a dict) set."""
        return self.copy().update(values)

    def validate(self):
        """Checks the whole scenario as a run does before it starts."""
        self._validate()

    def to_dict(self):
        """Every settable field, by name (arrays as numpy arrays)."""
        return dict(self._state())

    # --- copying and pickling: a scenario travels to ensemble workers -----------
    def __reduce__(self):
        return (_restore, (type(self), self._state(), self._provenance()))

    def __copy__(self):
        return self.copy()

    def __deepcopy__(self, memo):
        return self.copy()

    def __repr__(self):
        return (f"<qz5.Scenario npts={self.npts} ncomp={self.ncomp} "
                f"tstart={self.tstart:g} touts={self.ntimes} (last {self.touts[-1]:g}) "
                f"rtol={self.rtol:g} atol={self.atol:g}>" if self.ntimes else
                f"<qz5.Scenario npts={self.npts} ncomp={self.ncomp} (no output times)>")


def _zero_based(field, index, shape):
    if len(index) != len(shape):
        raise KeyError(f"{field}: {len(shape)} index(es) needed, {len(index)} given")
    out = []
    for i, n in zip(index, shape):
        if not 1 <= i <= n:
            raise KeyError(f"{field}: index {i} outside 1..{n}")
        out.append(i - 1)
    return tuple(out)
