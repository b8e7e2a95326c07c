#!/usr/bin/env python3
"""Writes python/qz5/_core.pyi, the type stub of the compiled extension.

The stub is generated from the extension itself: the scenario's fields with
their documentation, the run arguments, and the functions' signatures as
pybind11 states them. python/tests/test_stub.py regenerates it and compares,
so a field added to or removed from the binding fails the tests until the
stub is written again:

    PYTHONPATH=build/python /usr/bin/python3 tools/make_core_stub.py
"""
import inspect
import pathlib
import re
import sys
import textwrap

STUB = pathlib.Path(__file__).resolve().parents[1] / "python" / "qz5" / "_core.pyi"

# Fields whose value on an empty scenario does not show their type.
FIELD_TYPES = {"geometry": "Optional[NDArray[np.float64]]"}
RUN_ARG_TYPES = {"rtol": "Optional[float]", "atol": "Optional[float]", "tau": "Optional[float]",
                 "kappa": "Optional[float]", "alpha": "Optional[float]",
                 "max_steps_per_interval": "int", "observe_steps": "bool",
                 "legacy_capacities": "bool", "profiles": "bool", "stations": "list[float]",
                 "budget": "bool", "constituents": "str", "length_unit": "str", "path": "str",
                 "position_rtol": "Optional[float]", "position_atol": "Optional[float]"}
# The declared kinetics' read-only properties (their values need a file).
KINETICS_TYPES = {"title": "str", "source": "str", "text": "str", "folder": "str",
                  "ncomp": "int", "constituents": "list[dict[str, Any]]",
                  "parameters": "dict[str, Optional[float]]",
                  "parameter_info": "dict[str, dict[str, Any]]", "forcings": "dict[str, str]",
                  "definitions": "list[str]", "rates": "dict[str, str]"}
PY_TYPES = {bool: "bool", int: "int", float: "float", str: "str"}
# pybind11's names for what the stub writes as Python types.
SIGNATURE_WORDS = {"qz5._core.": "", "handle": "Any", "object": "Any", "dict": "dict[str, Any]",
                   "tuple": "tuple[Any, ...]", "list[str]": "list[str]"}


def value_type(name, value, overrides):
    if name in overrides:
        return overrides[name]
    if type(value).__name__ == "ndarray":
        return "NDArray[np.float64]"
    if type(value) in PY_TYPES:
        return PY_TYPES[type(value)]
    raise TypeError(f"{name}: no stub type for a {type(value).__name__}; add it to "
                    "tools/make_core_stub.py")


def signature(func):
    """The first signature line of a pybind11 function, in stub form."""
    line = func.__doc__.strip().splitlines()[0]
    line = re.sub(r"\b(qz5\._core\.)", "", line)
    for word, stub in SIGNATURE_WORDS.items():
        if word != "qz5._core.":
            line = re.sub(rf"(?<![\w.\[]){re.escape(word)}(?![\w\]])", stub, line)
    line = re.sub(r"\bList\[", "list[", line)
    line = re.sub(r"\bself: \w+", "self", line)
    return f"def {line}: ..."


def docstring(text, indent):
    body = textwrap.fill(" ".join(text.split()), 92 - len(indent)).replace("\n", "\n" + indent)
    return f'{indent}"""{body}"""'


def field_lines(core, name):
    prop = getattr(core.Scenario, name)
    t = value_type(name, getattr(core.Scenario(), name), FIELD_TYPES)
    lines = ["    @property", f"    def {name}(self) -> {t}:",
             docstring(prop.__doc__ or name, "        ")]
    if prop.fset is not None:
        lines += [f"    @{name}.setter", f"    def {name}(self, value: Any) -> None: ..."]
    return lines


def method_lines(core, name):
    func = getattr(core.Scenario, name)
    first, *rest = func.__doc__.strip().split("\n", 1)
    lines = ["    " + signature(func)[:-5] + ":"]
    lines.append(docstring(rest[0] if rest and rest[0].strip() else name, "        "))
    return lines


def kinetics_lines(core):
    """The class of declared kinetics: its properties, the readers (static)
    and the methods returning changed copies."""
    cls = core.Kinetics
    out = ["class Kinetics:",
           '    """Declared kinetics as read; use qz5.Kinetics, which adds the names."""']
    for name in sorted(n for n in dir(cls) if not n.startswith("__")):
        attr = inspect.getattr_static(cls, name)
        if isinstance(attr, property):
            if name not in KINETICS_TYPES:
                raise TypeError(f"Kinetics.{name}: no stub type; add it to tools/make_core_stub.py")
            out += ["    @property", f"    def {name}(self) -> {KINETICS_TYPES[name]}:",
                    docstring(attr.__doc__ or name, "        ")]
            continue
        func = getattr(cls, name)
        first, *rest = func.__doc__.strip().split("\n", 1)
        if isinstance(attr, staticmethod):
            out.append("    @staticmethod")
        out.append("    " + signature(func)[:-5] + ":")
        out.append(docstring(rest[0] if rest and rest[0].strip() else name, "        "))
    return out


def make_stub(core):
    out = ['"""Type stub of qz5._core, the compiled engine (written by tools/make_core_stub.py;',
           'do not edit by hand)."""',
           "from typing import Any, Optional", "", "import numpy as np",
           "from numpy.typing import NDArray", "",
           "version: str", "HAVE_NETCDF: bool", "FIELDS: tuple[str, ...]", "", "",
           "class Scenario:",
           '    """One run\'s inputs; use qz5.Scenario, which adds the methods by name."""',
           "    def __init__(self) -> None: ..."]
    fields = set(core.FIELDS)
    for name in core.FIELDS:
        out += field_lines(core, name)
    extra = sorted(n for n in dir(core.Scenario) if not n.startswith("__") and n not in fields)
    for name in extra:
        attr = getattr(core.Scenario, name)
        if isinstance(attr, property):
            t = {"names_file": "str", "read_console": "str", "changed": "tuple[str, ...]",
                 "_kinetics": "Optional[Any]", "reference_date": "str",
                 "constituent_names": "str"}[name]
            out += ["    @property", f"    def {name}(self) -> {t}:",
                    docstring(attr.__doc__ or name, "        ")]
        else:
            out += method_lines(core, name)
    out += ["", ""] + kinetics_lines(core)
    out += ["", "", "class RunArgs:", '    """The engine\'s options and what a run records."""',
            "    def __init__(self) -> None: ..."]
    defaults = core.RunArgs()
    for name in sorted(n for n in dir(core.RunArgs) if not n.startswith("__")):
        out.append(f"    {name}: {value_type(name, getattr(defaults, name), RUN_ARG_TYPES)}")
    out += ["", ""]
    for name in sorted(n for n in dir(core) if callable(getattr(core, n)) and not n.startswith("_")
                       and not isinstance(getattr(core, n), type)):
        out.append(signature(getattr(core, name)))
    return "\n".join(out) + "\n"


def main():
    import qz5._core as core

    STUB.write_text(make_stub(core))
    print(STUB)
    return 0


if __name__ == "__main__":
    sys.exit(main())
