"""The typed, discoverable API: fixed fields, the stub of the extension,
type hints on every public function."""
import ast
import importlib.util
import inspect
import pathlib
import pickle

import pytest

import qz5
from conftest import NAMES, REPO


def make_stub_module():
    spec = importlib.util.spec_from_file_location("make_core_stub",
                                                  REPO / "tools" / "make_core_stub.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@pytest.mark.parametrize("how", ["read", "copy", "unpickled", "empty"])
@pytest.mark.parametrize("name,closest", [("rtoll", "rtol"), ("bnd_tabb", "bnd_tab"),
                                          ("Rxpar", "rxpar"), ("x_lats", "x_lat")])
def test_a_misspelt_field_is_refused_naming_the_closest(estuary_base, how, name, closest):
    # (Never the shared scenario itself: the test sets a field.)
    s = {"read": lambda: qz5.Scenario.from_names_file(NAMES), "copy": estuary_base.copy,
         "unpickled": lambda: pickle.loads(pickle.dumps(estuary_base)),
         "empty": qz5.Scenario}[how]()
    before = s.to_dict()
    with pytest.raises(AttributeError, match=f"no field '{name}' \\(did you mean {closest}"):
        setattr(s, name, 1e-3)
    with pytest.raises(AttributeError, match=f"did you mean {closest}"):
        getattr(s, name)
    assert not hasattr(s, "__dict__")
    after = s.to_dict()
    assert before.keys() == after.keys()
    # A correct name still sets, and only that field changes.
    s.rtol = 2e-4
    assert s.rtol == 2e-4


def test_a_name_far_from_every_field_gets_no_guess(estuary):
    with pytest.raises(AttributeError) as info:
        estuary.zzzzzz = 1
    assert "did you mean" not in str(info.value)


def test_the_stub_is_what_the_extension_holds():
    stub = REPO / "python" / "qz5" / "_core.pyi"
    written = make_stub_module().make_stub(qz5._core)
    assert stub.read_text() == written, (
        "python/qz5/_core.pyi is out of date: PYTHONPATH=build/python /usr/bin/python3 "
        "tools/make_core_stub.py")
    tree = ast.parse(written)
    classes = {n.name: n for n in tree.body if isinstance(n, ast.ClassDef)}
    in_stub = {f.name for f in classes["Scenario"].body if isinstance(f, ast.FunctionDef)}
    public = {n for n in dir(qz5._core.Scenario) if not n.startswith("__")}
    assert public <= in_stub and set(qz5._core.FIELDS) <= in_stub
    in_kinetics = {f.name for f in classes["Kinetics"].body if isinstance(f, ast.FunctionDef)}
    assert in_kinetics == {n for n in dir(qz5._core.Kinetics) if not n.startswith("__")}
    functions = {f.name for f in tree.body if isinstance(f, ast.FunctionDef)}
    assert functions == {"read_names_file", "run", "time_engine", "is_scenario_file",
                         "read_scenario_file", "write_scenario_file"}


def test_the_stub_generator_refuses_a_field_of_unknown_type():
    gen = make_stub_module()
    with pytest.raises(TypeError, match="no stub type for a complex"):
        gen.value_type("strange", 1j, {})


def public_functions():
    for module in (qz5.scenario, qz5.results, qz5.plot, qz5.files, qz5.calibration,
                   qz5.ensembles, qz5.__main__):
        for name, f in vars(module).items():
            if (inspect.isfunction(f) and not name.startswith("_")
                    and f.__module__ == module.__name__):
                yield f"{module.__name__}.{name}", f
    for name, f in vars(qz5.Scenario).items():
        if inspect.isfunction(f) and not name.startswith("_"):
            yield f"qz5.Scenario.{name}", f


import qz5.__main__  # noqa: E402  (for public_functions)
import qz5.files  # noqa: E402


@pytest.mark.parametrize("name,f", list(public_functions()), ids=lambda v: v if isinstance(v, str) else "")
def test_every_public_function_is_typed_and_documented(name, f):
    sig = inspect.signature(f)
    untyped = [p.name for p in sig.parameters.values()
               if p.annotation is inspect.Parameter.empty and p.name not in ("self", "cls")]
    assert not untyped, f"{name}: parameters without a type hint: {untyped}"
    assert sig.return_annotation is not inspect.Signature.empty, f"{name}: no return type"
    assert f.__doc__ and f.__doc__.strip(), f"{name}: no docstring"


def test_qz5_plot_is_an_attribute_and_the_package_is_typed():
    assert qz5.plot.observed and qz5.plot.ensemble
    here = pathlib.Path(qz5.__file__).parent
    assert (here / "py.typed").exists() and (here / "_core.pyi").exists()


@pytest.mark.parametrize("text,element", [("rxpar[7]", (6,)), ("rxpar_7", (6,)),
                                          ("RXPAR[1]", (0,)), ("bnd_tab[2,3]", (1, 2))])
def test_text_names_count_from_one_arrays_from_zero(estuary, text, element):
    field = text.split("[")[0].split("_")[0].lower() if "bnd" not in text else "bnd_tab"
    array = getattr(estuary, field)
    assert estuary.get(text) == array[element]
    estuary.set(text, 0.25)
    assert getattr(estuary, field)[element] == 0.25
