"""Ensembles on Dask distributed: members as the same runs made one by one."""
import numpy as np
import pandas as pd
import pytest

import qz5
from conftest import short_scenario


@pytest.fixture
def base(estuary):
    return short_scenario(estuary, touts=(4.0, 8.0, 12.0))


def direct(base, values, **kw):
    s = base.copy()
    s.update(values)
    return qz5.run(s, raise_on_failure=False, **kw)


def test_members_are_the_runs_made_one_by_one(client, base):
    members = [{}, {"rxpar[1]": 1.0}, {"rxpar_4": 0.12, "rxpar[1]": 1.3}, {"rtol": 1e-5}]
    ds = qz5.ensemble(base, members, client=client, stations=[3000.0, 20000.0], budget=True)
    assert ds.sizes["member"] == 4 and list(ds.member.values) == [0, 1, 2, 3]
    assert list(ds.status.values) == ["complete"] * 4
    for i, m in enumerate(members):
        one = direct(base, m, stations=[3000.0, 20000.0], budget=True)
        member = ds.isel(member=i)
        for name in ("c1", "c4", "x", "budget_c3", "interval_bounds"):
            np.testing.assert_array_equal(member[name].values, one[name].values, err_msg=name)
        # Station series at the output times, where every member has a sample.
        np.testing.assert_array_equal(member.station_c4.values,
                                      one.station_c4.sel(station_time=one.time.values).values)
        assert member.integrator_steps.item() == one.attrs["integrator_steps"]
    # The varied parameters, with the base value where a member leaves them.
    np.testing.assert_array_equal(ds.rxpar_1.values, [1.2, 1.0, 1.3, 1.2])
    np.testing.assert_array_equal(ds.rxpar_4.values, [0.1, 0.1, 0.12, 0.1])
    np.testing.assert_array_equal(ds.rtol.values, [1e-4, 1e-4, 1e-4, 1e-5])
    assert ds.attrs["Conventions"] == "CF-1.8" and "status" not in ds.attrs


def test_failed_members_are_marked_and_the_others_kept(client, base):
    members = pd.DataFrame({"rxpar[7]": [0.3, 0.0, np.nan], "rtol": [1e-4, 1e-4, 0.0],
                            "atol": [1e-3, 1e-3, 0.0]},
                           index=pd.Index([10, 11, 12], name="case"))
    ds = qz5.ensemble(base, members, client=client)
    assert list(ds.member.values) == [10, 11, 12]
    assert list(ds.status.values) == ["complete", "refused", "failed"]
    assert list(ds.exit_status.values) == [0, 1, 2]
    assert "RXPAR(7) must not be zero" in ds.failure_message.values[1]
    # Both tolerances zero: the integrator refuses to start (IDID = -33).
    assert ds.failure_message.values[2].startswith("DASSL error")
    assert "ALL ELEMENTS OF RTOL AND ATOL ARE ZERO" in ds.failure_message.values[2]
    assert ds.idid.values[2] == -33 and ds.failure_message.values[0] == ""
    assert np.isnan(ds.c4.sel(member=11)).all()
    # The failed member keeps its start profile, nothing after it.
    assert not np.isnan(ds.c4.sel(member=12, time=0.0)).any()
    assert np.isnan(ds.c4.sel(member=12).isel(time=slice(1, None))).all()
    np.testing.assert_array_equal(ds.c4.sel(member=10).values, direct(base, {}).c4.values)
    np.testing.assert_array_equal(ds.rxpar_7.values, [0.3, 0.0, 0.3])


def test_station_series_at_chosen_times(client, base):
    times = np.array([0.5, 2.0, 7.25, 11.0])
    ds = qz5.ensemble(base, [{}, {"rxpar[5]": 0.5}], client=client, stations=[9000.0],
                      station_times=times)
    one = direct(base, {"rxpar[5]": 0.5}, stations=[9000.0])
    expect = np.interp(times, one.station_time.values, one.station_c5.isel(station=0).values)
    np.testing.assert_allclose(ds.station_c5.isel(member=1, station=0).values, expect,
                               rtol=1e-13)


def test_a_scheduler_address_and_a_cluster_of_its_own(client, base):
    ds = qz5.ensemble(base, [{}], client=client.scheduler.address)
    assert ds.status.values.tolist() == ["complete"]
    assert client.status == "running"  # only the ensemble's own connection was closed
    own = qz5.ensemble(base, [{"rxpar[1]": 1.1}], n_workers=1)
    np.testing.assert_array_equal(own.c4.isel(member=0).values,
                                  direct(base, {"rxpar[1]": 1.1}).c4.values)


def test_unknown_options_are_refused_before_anything_runs(base):
    with pytest.raises(TypeError):
        qz5.ensemble(base, [{}], client="tcp://127.0.0.1:1", no_such_option=1)
