"""The solver options from Python: jacobian, nonnegative, position_tolerance."""
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


@pytest.mark.parametrize("option", [{"jacobian": "analytic"}, {"nonnegative": "zero"}])
def test_unknown_values_are_refused(estuary, option):
    with pytest.raises(qz5.ScenarioError) as info:
        qz5.run(short_scenario(estuary), **option)
    assert info.value.field == list(option)[0]
