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
import collections.abc
import os
import re

import numpy as np

from . import _core
from .kinetics import Kinetics

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


def _restore(cls, state, provenance=("", "", ()), kinetics=None):
    s = cls()
    if kinetics is not None:
        s._kinetics = kinetics._k
    s._restore(state)
    s._set_provenance(*provenance)
    return s


class Parameters(collections.abc.MutableMapping):
    """The reaction parameters of a scenario by name.

    With declared kinetics, the kinetics' own names (``s.parameters["kd"]``);
    setting one gives the scenario a changed copy of its kinetics. With the
    built-in kinetics, ``rxpar[1]`` .. ``rxpar[19]``.
    """

    def __init__(self, scenario):
        self._s = scenario

    def _names(self):
        k = self._s.kinetics
        if k is not None:
            return list(k.parameters)
        return [f"rxpar[{i}]" for i in range(1, 20)]

    def __getitem__(self, name):
        k = self._s.kinetics
        if k is not None:
            if name not in k.parameters:
                raise KeyError(f"{name}: no such parameter of the kinetics "
                               f"({', '.join(k.parameters)})")
            return k.parameters[name]
        if name not in self._names():
            raise KeyError(f"{name}: the built-in kinetics' parameters are rxpar[1] .. rxpar[19]")
        return self._s.get(name)

    def __setitem__(self, name, value):
        k = self._s.kinetics
        if k is not None:
            if name not in k.parameters:
                raise KeyError(f"{name}: no such parameter of the kinetics "
                               f"({', '.join(k.parameters)})")
            self._s.kinetics = k.with_parameter(name, value)
        else:
            self[name]  # an unknown name fails as in a look-up
            self._s.set(name, value)

    def __delitem__(self, name):
        raise TypeError("parameters cannot be removed")

    def __iter__(self):
        return iter(self._names())

    def __len__(self):
        return len(self._names())

    def bounds(self, name):
        """(min, max) of a declared parameter; (-inf, inf) when not declared."""
        k = self._s.kinetics
        if k is not None and name in k.parameters:
            return k.bounds(name)
        return -np.inf, np.inf

    def __repr__(self):
        return repr(dict(self))


class Scenario(_core.Scenario):
    """One run's inputs. See the module's documentation for the field names."""

    @classmethod
    def from_names_file(cls, path, kinetics=None):
        """Reads a names file and every file it names.

        Names inside the names file are taken relative to the names file's
        folder and stored as absolute paths. ``kinetics``: declared kinetics
        (a :class:`qz5.Kinetics` or the path of a kinetics file); the
        parameter file's NCOMP must then be their number of constituents.
        Raises :class:`qz5.errors.InputError` with the reader's message.
        """
        if kinetics is not None and not isinstance(kinetics, Kinetics):
            kinetics = Kinetics.from_file(kinetics)
        s = cls()
        _core.read_names_file(s, str(path), kinetics._k if kinetics is not None else None)
        return s

    # --- the kinetics and their parameters -------------------------------------
    @property
    def kinetics(self):
        """The declared kinetics (a :class:`qz5.Kinetics`), or None for the
        built-in six-pool kinetics."""
        core = self._kinetics
        return Kinetics(core) if core is not None else None

    @kinetics.setter
    def kinetics(self, value):
        if value is not None and not isinstance(value, Kinetics):
            value = Kinetics.from_file(os.fspath(value))
        self._kinetics = value._k if value is not None else None

    @property
    def parameters(self):
        """The reaction parameters by name (see :class:`Parameters`)."""
        return Parameters(self)

    # --- single values by name ------------------------------------------------
    def get(self, name):
        """The value of a field or of one element: ``s.get("rxpar[7]")``;
        or of a declared kinetics parameter by its name."""
        k = self.kinetics
        if k is not None and name in k.parameters:
            return k.parameters[name]
        field, index = parse_name(name)
        value = getattr(self, field)
        if index is None:
            return value
        return float(np.asarray(value)[_zero_based(field, index, np.shape(value))])

    def set(self, name, value):
        """Sets a field or one element (``s.set("rxpar[7]", 0.35)``), or a
        declared kinetics parameter by its name; checked as an assignment of
        the whole field is."""
        k = self.kinetics
        if k is not None and name in k.parameters:
            self.kinetics = k.with_parameter(name, value)
            return
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
        return _restore(type(self), self._state(), self._provenance(), self.kinetics)

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
        return (_restore, (type(self), self._state(), self._provenance(), self.kinetics))

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
