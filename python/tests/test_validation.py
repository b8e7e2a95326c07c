"""Bad input comes back as such, naming the field, by the engine's own rules:
when a value is set, when a scenario that arrived without checks (as an
unpickled one does) is validated or run, and for a run's options."""
import numpy as np
import pytest

import qz5
import qz5.scenario

CASES = [
    ("ncomp", 0, "ncomp: must be 6, not 0"),
    ("npts", 1, "npts: at least 3 grid points needed, not 1"),
    ("rtol", -1e-4, "rtol: must not be negative, not -0.0001"),
    ("touts", np.array([]), "touts: no output times"),
]


def unchecked(base, name, value):
    """The scenario with one field replaced without any check."""
    state = dict(base.to_dict())
    state[name] = value
    if name == "ncomp":
        # The profile table is as wide as NCOMP says; without constituents
        # the scenario starts from the linear profile.
        state.pop("ut0_tab")
        state["use_ut0"] = False
    return qz5.scenario._restore(qz5.Scenario, state)


@pytest.mark.parametrize("name,value,expect", CASES)
def test_a_scenario_built_without_checks_is_bad_input_naming_the_field(estuary, name, value, expect):
    s = unchecked(estuary, name, value)
    assert np.array_equal(np.asarray(s.get(name)), np.asarray(value))
    with pytest.raises(qz5.ScenarioError) as validated:
        s.validate()
    assert validated.value.field == name and expect in str(validated.value)
    with pytest.raises(qz5.ScenarioError) as ran:
        qz5.run(s)
    assert ran.value.field == name and expect in str(ran.value)


@pytest.mark.parametrize("name,value,expect", [c for c in CASES if c[0] != "touts"])
def test_the_setters_ask_the_same_rules(estuary, name, value, expect):
    with pytest.raises(qz5.ScenarioError) as info:
        estuary.set(name, value)
    assert info.value.field == name
    assert str(info.value).split(",")[0] in expect


def test_a_negative_tolerance_as_an_option_is_bad_input(estuary):
    with pytest.raises(qz5.ScenarioError) as info:
        qz5.run(estuary, rtol=-1.0)
    assert info.value.field == "rtol" and "must be finite and not negative" in str(info.value)
