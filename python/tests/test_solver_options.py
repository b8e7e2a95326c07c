"""The solver options from Python: jacobian, nonnegative, position_tolerance,
position_increments, position_error_test, sources, channel."""
import numpy as np
import pytest

import qz5
from conftest import short_scenario


def test_exact_jacobian_agrees_with_the_differenced_matrix(estuary):
    s = short_scenario(estuary)
    plain = qz5.run(s)
    exact = qz5.run(s, jacobian="exact")
    for k in range(1, 7):
        a, b = plain[f"c{k}"].values, exact[f"c{k}"].values
        # Within the tolerance's reach: 3e-4 of the constituent's range.
        assert np.max(np.abs(a - b)) < 3e-4 * (a.max() - a.min()), k


def test_projection_and_position_tolerances_run(estuary):
    s = short_scenario(estuary)
    plain = qz5.run(s)
    same = qz5.run(s, position_tolerance=(s.rtol, s.atol))
    np.testing.assert_array_equal(same["c3"].values, plain["c3"].values)
    projected = qz5.run(s, nonnegative="project")
    assert projected.dims == plain.dims


def test_exact_sources_deliver_the_specified_load(estuary):
    s = short_scenario(estuary)
    sampled = qz5.run(s, budget=True)
    exact = qz5.run(s, budget=True, sources="exact")
    for k in range(1, 7):
        def total(ds, term):
            return float(qz5.budget_term(ds, f"c{k}", term).sum())
        specified = total(exact, "lateral_load_specified")
        # Integrated in time on each run's own steps: the same to the quadrature.
        assert specified == pytest.approx(total(sampled, "lateral_load_specified"), rel=1e-6), k
        assert abs(total(exact, "lateral_load") - specified) <= 1e-10 * abs(specified), k


def test_averaged_channel_runs_on_the_built_in_laws_unchanged(estuary):
    # The built-in laws are smooth and keep their midpoint values.
    s = short_scenario(estuary)
    np.testing.assert_array_equal(qz5.run(s, channel="averaged")["c3"].values,
                                  qz5.run(s)["c3"].values)


def test_spacing_increments_and_positions_out_of_the_error_test_keep_the_accuracy(estuary):
    s = short_scenario(estuary)
    tight = qz5.run(s, rtol=s.rtol * 1e-3, atol=s.atol * 1e-3)

    def error(ds):
        # Against the tight run at its own positions, of each constituent's range.
        worst = 0.0
        for k in range(1, 7):
            a, b = tight[f"c{k}"].values, ds[f"c{k}"].values
            xa, xb = tight["x"].values, ds["x"].values
            at = np.array([np.interp(xa[t], xb[t], b[t]) for t in range(a.shape[0])])
            worst = max(worst, float(np.max(np.abs(a - at))) / (a.max() - a.min()))
        return worst

    plain = qz5.run(s)
    spaced = qz5.run(s, position_increments="spacing")
    free = qz5.run(s, position_error_test=False)
    # Another matrix or error test, the same tolerances: an error of the
    # default's size (3.1e-4, 3.1e-4 and 3.6e-4 when written).
    assert error(spaced) < 1.5 * error(plain)
    assert error(free) < 1.5 * error(plain)
    # Taken, not ignored.
    assert not np.array_equal(spaced["x"].values, plain["x"].values)
    assert not np.array_equal(free["x"].values, plain["x"].values)


@pytest.mark.parametrize("option", [{"jacobian": "analytic"}, {"nonnegative": "zero"},
                                    {"sources": "points"}, {"channel": "smooth"},
                                    {"position_increments": "spaced"}])
def test_unknown_values_are_refused(estuary, option):
    with pytest.raises(qz5.ScenarioError) as info:
        qz5.run(short_scenario(estuary), **option)
    assert info.value.field == list(option)[0]


def test_interval_means_are_refused_with_the_exact_jacobian(estuary):
    with pytest.raises(qz5.ScenarioError) as info:
        qz5.run(short_scenario(estuary), sources="exact", jacobian="exact")
    assert info.value.field == "exact_jacobian"
