"""Declared kinetics from Python: read, change parameters by name, run,
run ensembles and calibrate by those names."""
import math
import pickle

import numpy as np
import pytest

import qz5
from conftest import EXAMPLES

KINETICS = EXAMPLES / "kinetics"

DECAY = """
[[constituents]]
name = "tracer"
unit = "ug/L"
[[constituents]]
name = "C"
unit = "ug/L"
[parameters]
k = { value = 1.0, unit = "1/day", min = 0.0, max = 5.0 }
[rates]
C = "-k * C"
"""


def decay_scenario(kinetics=None):
    return qz5.Scenario.from_names_file(KINETICS / "decay" / "decay.fn",
                                        kinetics=kinetics or KINETICS / "decay.toml")


def free_river(s):
    """The decay example as its README runs it: geometry table, free outflow."""
    rows = [line.split() for line in (KINETICS / "decay" / "decay.geo").read_text().splitlines()[1:]]
    s.geometry = np.array([[float(v) for v in r] for r in rows if r])
    s.outflow = "free"
    return s


def test_kinetics_from_file_and_string():
    k = qz5.Kinetics.from_file(KINETICS / "bod_do.toml")
    assert k.names == ["BOD", "DO"]
    assert k.constituents[1] == {"name": "DO", "unit": "mg/L", "transported": True}
    assert k.parameters == {"kd": 0.35, "ka": 0.8, "theta_d": 1.047, "theta_a": 1.024}
    assert k.bounds("kd") == (0.0, 5.0)
    assert k.forcings == {"temperature": "temperature.csv"}
    s = qz5.Kinetics.from_string(DECAY)
    assert s.names == ["tracer", "C"]
    assert s.rates == {"C": "-k * C"}
    changed = s.with_parameter("k", 2.0)
    assert changed.parameters["k"] == 2.0 and s.parameters["k"] == 1.0
    assert pickle.loads(pickle.dumps(changed)) == changed


@pytest.mark.parametrize("text, says", [
    ("[[constituents]]\nname = \"A\"\n[rates]\nA = \"-k * A\"\n",
     "bad.toml:4: rate of A: unknown name \"k\" at position 2 in \"-k * A\""),
    ("[[constituents]]\nname = \"A\"\n[rates]\nB = \"0\"\n",
     "bad.toml:4: rate for \"B\", which is not a declared constituent"),
])
def test_malformed_kinetics_name_file_line_and_reason(text, says):
    with pytest.raises(qz5.InputError) as e:
        qz5.Kinetics.from_string(text, source="bad.toml")
    assert says in e.value.message


def test_parameter_out_of_bounds_is_refused():
    k = qz5.Kinetics.from_string(DECAY)
    with pytest.raises(qz5.ScenarioError) as e:
        k.with_parameter("k", 7.0)
    assert e.value.field == "parameters"


def test_scenario_parameters_by_name_and_a_run():
    s = free_river(decay_scenario())
    assert isinstance(s.kinetics, qz5.Kinetics)
    assert s.ncomp == 2
    assert dict(s.parameters) == {"k": 1.0}
    ds1 = qz5.run(s)
    assert ds1["contaminant"].attrs["transported"] == "true"
    assert ds1["contaminant"].attrs["units"] == "ug/L"
    s.parameters["k"] = 0.5
    assert s.get("k") == 0.5 and s.kinetics.parameters["k"] == 0.5
    ds2 = qz5.run(s)
    # Less decay, more left at the end of the reach; the tracer is unchanged.
    end1 = float(ds1["contaminant"].isel(time=-1, point=-1))
    end2 = float(ds2["contaminant"].isel(time=-1, point=-1))
    tracer = float(ds2["tracer"].isel(time=-1, point=-1))
    assert end2 > end1
    # Plug flow through 0.632 days: the ratio to the tracer is exp(-k tau).
    assert end2 / tracer == pytest.approx(math.exp(-0.5 * 0.632), rel=0.01)
    assert end1 / tracer == pytest.approx(math.exp(-1.0 * 0.632), rel=0.01)


def test_constituents_option_refused_with_declared_kinetics():
    s = free_river(decay_scenario())
    with pytest.raises(qz5.ScenarioError) as e:
        qz5.run(s, constituents="a,b")
    assert e.value.field == "constituents"


def test_pickled_scenario_keeps_its_kinetics():
    s = free_river(decay_scenario())
    s.parameters["k"] = 0.7
    t = pickle.loads(pickle.dumps(s))
    assert t.kinetics.parameters["k"] == 0.7
    assert t.kinetics.names == ["tracer", "contaminant"]


def test_ensemble_and_calibration_by_parameter_name():
    s = free_river(decay_scenario())
    s.touts = np.array([1.0, 2.0, 3.0])
    ens = qz5.ensemble(s, [{"k": v} for v in (0.5, 1.0, 2.0)])
    assert list(ens["status"].values) == ["complete"] * 3
    end = ens["contaminant"].isel(time=-1, point=-1).values
    assert end[0] > end[1] > end[2]
    # Observations made from a run with k = 1.6; fitted from k = 1.0 with
    # the parameter's own min .. max as bounds.
    truth = s.copy()
    truth.parameters["k"] = 1.6
    ds = qz5.run(truth)
    obs = [{"time": float(t), "x": float(ds["x"].isel(time=i, point=j)), "constituent": "contaminant",
            "value": float(ds["contaminant"].isel(time=i, point=j))}
           for i, t in enumerate(ds["time"].values) if i > 0 for j in (20, 40, 60)]
    fit = qz5.calibrate(s, obs, ["k"])
    assert fit.names == ["k"]
    assert (fit.lower[0], fit.upper[0]) == (0.0, 50.0)
    assert fit.values[0] == pytest.approx(1.6, rel=1e-3)


# A substance made where it lies at a rate r(x) that is a table: it does not
# move, so at every grid point age = r(x) * t exactly (linear profiles are
# exact on the grid too), whatever the tracer does to the grid.
MADE_IN_PLACE = """
[[constituents]]
name = "tracer"
[[constituents]]
name = "age"
transported = false
[parameters]
r = { table = [[0.0, 1.0], [12000.0, 1.0]], min = 0.0, max = 10.0 }
[rates]
age = "r"
"""


def test_a_table_parameter_set_from_python_changes_the_run_as_expected():
    s = decay_scenario(qz5.Kinetics.from_string(MADE_IN_PLACE))
    s.touts = [1.0, 2.0]
    before = qz5.run(s).sel(time=2.0)
    s.parameters["r"] = np.array([[0.0, 1.0], [12000.0, 3.0]])
    assert s.parameters["r"] is None  # it varies along the channel
    np.testing.assert_array_equal(s.kinetics.tables["r"], [[0.0, 1.0], [12000.0, 3.0]])
    after = qz5.run(s).sel(time=2.0)
    # Integration error of the order of RTOL 1e-4 times the value.
    np.testing.assert_allclose(before.age, 1.0 * 2.0, rtol=1e-3)
    expected = (1.0 + 2.0 * after.x.values / 12000.0) * 2.0
    np.testing.assert_allclose(after.age[1:-1], expected[1:-1], rtol=1e-3)
    # An end point takes the rate of its half interval (where the interval's
    # sources are evaluated), which lies between its own and its neighbour's.
    for end, inner in ((0, 1), (-1, -2)):
        lo, hi = sorted((expected[end], expected[inner]))
        assert lo < float(after.age[end]) < hi
    # It travels to ensemble workers with its table.
    assert pickle.loads(pickle.dumps(s)).kinetics.tables["r"].tolist() == [[0.0, 1.0],
                                                                          [12000.0, 3.0]]


@pytest.mark.parametrize("table, says", [
    ([], "a table is a list of (x, value) pairs or an array of 2 columns, not an array of "
         "shape (0,)"),
    ([(0.0, 1.0, 2.0)], "2 columns, not an array of shape (1, 3)"),
    ([("a", 1.0)], "a table must hold numbers"),
    ([(0.0, 1.0), (0.0, 2.0)], "row 2 (0, 2): table positions must increase (0 after 0)"),
    ([(0.0, 1.0), (5.0, float("nan"))], "row 2 (5, nan): numbers must be finite"),
    ([(0.0, 1.0), (5.0, 11.0)], "row 2 (5, 11): value outside its min .. max (0 .. 10)"),
])
def test_a_bad_table_is_refused_saying_why(table, says):
    k = qz5.Kinetics.from_string(MADE_IN_PLACE)
    with pytest.raises(qz5.ScenarioError) as e:
        k.with_parameter("r", table)
    assert e.value.field == "parameters"
    text = str(e.value)
    assert text.startswith("parameters: parameter r: ") and says in text, text
    with pytest.raises(qz5.ScenarioError, match="no parameter \"q\""):
        k.with_parameter("q", [(0.0, 1.0)])
