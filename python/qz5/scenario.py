"""The scenario: every input of one run, readable and settable from Python.

Fields carry the system's own names in lower case (``npts``, ``rtol``,
``rxpar``, ``bnd_tab``, ...), in the units the model state keeps them in:
times ``tstart`` and ``touts`` in model time units, the series' own times in
days, positions in file length units and concentrations in file units.
Arrays are returned as read-only copies; change a field by assigning a whole
value, or one element through :meth:`Scenario.set` with a parameter name such
as ``"rxpar[7]"``. Bad values are refused when set, or when a run starts for
relations between fields, with a :class:`qz5.ScenarioError` naming the field.
A misspelt field name (``s.rtoll = 1e-3``) raises :class:`AttributeError`
naming the closest field.

Indexing
--------
One rule, the same everywhere in the package: **a parameter name in text
counts from 1, as the system numbers its arrays; a numpy array counts from
0, as numpy does.** So ``s.set("rxpar[7]", v)``, ``s.get("rxpar[7]")``, the
keys of :func:`qz5.ensemble` members, the parameters of :func:`qz5.calibrate`
and the ensemble coordinate ``rxpar_7`` all mean RXPAR(7), which is element
``s.rxpar[6]`` of the array. ``"bnd_tab[2,3]"`` is row 2, column 3 of the
table, ``s.bnd_tab[1, 2]``.
"""
from __future__ import annotations

import difflib

import collections.abc
import os
import re
import sys
from typing import Any, List, Mapping, Optional, Union

import numpy as np

from . import _core
from .kinetics import Kinetics

_INDEXED = re.compile(r"^([a-z_][a-z0-9_]*?)(?:\[(\d+)(?:\s*,\s*(\d+))?\]|_(\d+))?$")

Index = Optional[tuple[int, ...]]


def parse_name(name: str) -> tuple[str, Index]:
    """Splits a parameter name into its field and its 1-based index.

    Parameters
    ----------
    name : str
        ``"rtol"``, ``"rxpar[7]"`` (or ``"rxpar_7"``), ``"bnd_tab[2,3]"``;
        case and surrounding blanks do not matter.

    Returns
    -------
    tuple
        ``(field, None)`` for a whole field, ``(field, (7,))`` or
        ``(field, (2, 3))`` for one element; indices count from 1, as the
        system numbers RXPAR(1..19), CCONV(1..6) and its tables.

    Raises
    ------
    KeyError
        The field does not exist; the message names the closest fields.
    """
    text = name.strip().lower()
    if text in _core.FIELDS:
        return text, None
    m = _INDEXED.match(text)
    if not m or m.group(1) not in _core.FIELDS:
        raise KeyError(f"{name}: no such scenario field{_closest_hint(m.group(1) if m else text)}")
    if m.group(4) is not None:
        return m.group(1), (int(m.group(4)),)
    if m.group(2) is None:
        return m.group(1), None
    if m.group(3) is None:
        return m.group(1), (int(m.group(2)),)
    return m.group(1), (int(m.group(2)), int(m.group(3)))


def _closest_hint(name: str, candidates: Any = None) -> str:
    close = difflib.get_close_matches(name, list(candidates or _core.FIELDS), n=3, cutoff=0.6)
    return f" (did you mean {' or '.join(close)}?)" if close else ""


def _restore(cls: type, state: Mapping[str, Any], provenance: tuple = ("", "", ()),
             kinetics: Any = None) -> "Scenario":
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
    """One run's inputs: every field of the model state, by name.

    Read one with :meth:`from_names_file`. Fields are attributes in lower
    case (``s.npts``, ``s.rxpar``, ``s.bnd_tab``; see the module's
    documentation for units and :data:`qz5._core.FIELDS` for the list);
    there are no others: setting or reading a name that is no field raises
    :class:`AttributeError` naming the closest field.

    Text names of single elements count from 1 (``s.set("rxpar[7]", v)`` is
    RXPAR(7)); the arrays the attributes return count from 0 (that value is
    ``s.rxpar[6]``).
    """

    __slots__ = ()

    @classmethod
    def from_names_file(cls, path: Union[str, "os.PathLike[str]"], kinetics: Any = None,
                        strict: str = "off", resolve_names: str = "names-file") -> "Scenario":
        """Reads a names file and every file it names.

        Parameters
        ----------
        path : str or path-like
            The names file (``*.fn``).
        kinetics : qz5.Kinetics or path-like, optional
            Declared kinetics (or the path of a kinetics file); the
            parameter file's NCOMP must then be their number of
            constituents. None: the built-in six-pool kinetics.
        resolve_names : {"names-file", "working-folder"}
            Where the file names inside the names file are looked for: in the
            names file's folder (the default) or in the working folder, as
            the executable does unless given ``--resolve-names names-file``.

        Returns
        -------
        Scenario

        Raises
        ------
        qz5.InputError
            A file could not be read; the message is the reader's.

        Notes
        -----
        Names inside the names file are taken relative to **the names
        file's folder** and stored as absolute paths, so the scenario reads
        the same from any working folder. The executable ``qz5`` takes them
        relative to its working folder instead, unless it is given
        ``--resolve-names names-file`` (or is run in the names file's folder,
        as ``make run`` does).
        """
        if resolve_names not in ("names-file", "working-folder"):
            raise ValueError("resolve_names takes 'names-file' or 'working-folder', not "
                             f"{resolve_names!r}")
        if kinetics is not None and not isinstance(kinetics, Kinetics):
            kinetics = Kinetics.from_file(kinetics)
        s = cls()
        console = _core.read_names_file(s, str(path),
                                        kinetics._k if kinetics is not None else None, strict,
                                        "" if resolve_names == "names-file" else os.getcwd())
        if strict == "warn":
            for line in console.splitlines():
                if "Strict::Warning" in line:
                    print(line.strip(), file=sys.stderr)
        return s

    @classmethod
    def from_file(cls, path: Union[str, "os.PathLike[str]"]) -> "Scenario":
        """Reads a scenario file (TOML with its CSV tables) or a legacy names
        file, told apart as the executable does (a .toml name, or TOML
        content). Raises :class:`qz5.errors.InputError` naming the file, the
        line and the column of a fault. A ``reference_date`` in the file is
        kept as :attr:`reference_date`: the times of a run are then days
        since it, and its Dataset's time coordinates say so in CF units.
        The constituents the file names for the built-in kinetics are kept
        as :attr:`constituent_names`: a run's variables take their names and
        units (``ds["salinity"]``) unless it is given ``constituents=``.
        """
        if not _core.is_scenario_file(str(path)):
            return cls.from_names_file(path)
        s = cls()
        _core.read_scenario_file(s, str(path))
        return s

    def to_file(self, path: Union[str, "os.PathLike[str]"],
                constituents: Optional[str] = None) -> List[str]:
        """Writes the scenario as a scenario file, its tables as CSV files
        beside it; returns the paths written. ``constituents`` names them as
        ``--constituents`` does ("salinity:psu,doc,..."); by default the
        bundled estuary's names; declared kinetics name the constituents
        themselves and are written inline. Times are written in days that
        read back as the same model times exactly, whatever TUNIT_DAY /
        TUNIT_MODEL; a model time that no time in days gives raises
        :class:`qz5.InputError`.
        """
        return _core.write_scenario_file(self, str(path), constituents or "")

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

    # --- no attributes beyond the fields ------------------------------------------
    def __setattr__(self, name: str, value: Any) -> None:
        if not hasattr(type(self), name):
            raise AttributeError(f"{type(self).__name__} has no field {name!r}"
                                 f"{_closest_hint(name, _attribute_names(type(self)))}")
        super().__setattr__(name, value)

    def __getattr__(self, name: str) -> Any:
        # Called only when the ordinary look-up found nothing.
        if name.startswith("__"):
            raise AttributeError(name)
        raise AttributeError(f"{type(self).__name__} has no field {name!r}"
                             f"{_closest_hint(name, _attribute_names(type(self)))}")

    # --- single values by name ------------------------------------------------
    def get(self, name: str) -> Any:
        """The value of a field, or of one element.

        Parameters
        ----------
        name : str
            A field (``"rtol"``) or one element with 1-based indices
            (``"rxpar[7]"`` is RXPAR(7), the array's ``s.rxpar[6]``), or
            the name of a parameter of the declared kinetics (``"kd"``).

        Returns
        -------
        float or the field's value
        """
        k = self.kinetics
        if k is not None and name in k.parameters:
            return k.parameters[name]
        field, index = parse_name(name)
        value = getattr(self, field)
        if index is None:
            return value
        return float(np.asarray(value)[_zero_based(field, index, np.shape(value))])

    def set(self, name: str, value: Any) -> None:
        """Sets a field, or one element, checked as an assignment of the
        whole field is.

        Parameters
        ----------
        name : str
            A field or one element with 1-based indices: ``s.set("rxpar[7]",
            0.35)`` sets RXPAR(7), afterwards ``s.rxpar[6] == 0.35``; or a
            parameter of the declared kinetics by its name.
        value
            The new value, in the field's units.

        Raises
        ------
        qz5.ScenarioError
            The value is refused; the message names the field.
        KeyError
            No such field, or an index outside the field.
        """
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

    def set_lateral_inputs(self, x_lat: Any, q_lat: Any, lat_tab: Any,
                           k_lat: Optional[float] = None) -> None:
        """Replaces the lateral inputs as a whole; their number may change.

        Parameters
        ----------
        x_lat : array_like
            Positions of the inputs, file length units (nlat values).
        q_lat : array_like
            Their flows, volume per day (nlat values).
        lat_tab : array_like
            Concentrations, one row per time point: time (days), then for
            constituent 1 the value of every input, then constituent 2, ...
            (file units); 1 + nlat * NCOMP columns.
        k_lat : float, optional
            Steepness of the switch-on, per file length unit: **one value
            for all inputs**; unchanged when not given.

        Raises
        ------
        qz5.ScenarioError
            A value is refused; nothing is changed then.
        """
        super().set_lateral_inputs(x_lat, q_lat, lat_tab, k_lat)

    def set_driver(self, t_drv: Any, v_drv: Any) -> None:
        """Replaces variable driver 1; its number of points may change.

        Parameters
        ----------
        t_drv : array_like
            Times, days, increasing.
        v_drv : array_like
            Values: the factor on every lateral flow at those times.

        Raises
        ------
        qz5.ScenarioError
            A value is refused; nothing is changed then.
        """
        super().set_driver(t_drv, v_drv)

    def update(self, values: Optional[Mapping[str, Any]] = None, **kw: Any) -> "Scenario":
        """Sets several parameters (names as :meth:`set` takes them).

        Parameters
        ----------
        values : dict, optional
            ``{name: value}``.
        **kw
            More values, by field name.

        Returns
        -------
        Scenario
            This scenario, changed.
        """
        items = dict(values or {})
        items.update(kw)
        for name, value in items.items():
            self.set(name, value)
        return self

    def copy(self) -> "Scenario":
        """An independent copy."""
        return _restore(type(self), self._state(), self._provenance(), self.kinetics)

    def with_values(self, values: Mapping[str, Any]) -> "Scenario":
        """A copy with the parameters of ``values`` (``{name: value}``) set."""
        return self.copy().update(values)

    def validate(self) -> None:
        """Checks the whole scenario as a run does before it starts.

        Raises
        ------
        qz5.ScenarioError
            The first fault found, naming its field.
        """
        self._validate()

    def to_dict(self) -> dict[str, Any]:
        """Every settable field, by name (arrays as numpy arrays)."""
        return dict(self._state())

    # --- copying and pickling: a scenario travels to ensemble workers -----------
    def __reduce__(self) -> tuple:
        return (_restore, (type(self), self._state(), self._provenance(), self.kinetics))

    def __copy__(self) -> "Scenario":
        return self.copy()

    def __deepcopy__(self, memo: dict) -> "Scenario":
        return self.copy()

    def __repr__(self) -> str:
        return (f"<qz5.Scenario npts={self.npts} ncomp={self.ncomp} "
                f"tstart={self.tstart:g} touts={self.ntimes} (last {self.touts[-1]:g}) "
                f"rtol={self.rtol:g} atol={self.atol:g}>" if self.ntimes else
                f"<qz5.Scenario npts={self.npts} ncomp={self.ncomp} (no output times)>")


def _attribute_names(cls: type) -> list[str]:
    return [n for n in dir(cls) if not n.startswith("_")]


def _zero_based(field: str, index: tuple[int, ...], shape: tuple[int, ...]) -> tuple[int, ...]:
    if len(index) != len(shape):
        raise KeyError(f"{field}: {len(shape)} index(es) needed, {len(index)} given")
    out = []
    for i, n in zip(index, shape):
        if not 1 <= i <= n:
            raise KeyError(f"{field}: index {i} outside 1..{n} (text names count from 1)")
        out.append(i - 1)
    return tuple(out)

