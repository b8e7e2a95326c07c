"""xarray conventions: indexed terms and stations, sizes, files opened with
plain xr.open_dataset, ensembles with their member index and units."""
import numpy as np
import pytest
import xarray as xr

import qz5
from qz5 import ensembles
from conftest import short_scenario

STATIONS = {"head": 0.0, "harbour": 5000.0, "town": 15000.0}


@pytest.fixture(scope="module")
def named_run(estuary_base, tmp_path_factory):
    path = tmp_path_factory.mktemp("run") / "run.nc"
    s = short_scenario(estuary_base.copy(), touts=(4.0, 8.0))
    ds = qz5.run(s, stations=STATIONS, budget=True, path=path,
                 constituents="salinity:psu,DOC:umol C/L")
    return ds, path


def test_terms_and_stations_select_by_name(named_run):
    ds, _ = named_run
    terms = [str(t) for t in ds.term_name.values]
    # By name equals by position in term_name, which the file has always had.
    np.testing.assert_array_equal(ds.budget_c3.sel(term="reaction").values,
                                  ds.budget_c3.values[:, terms.index("reaction")])
    np.testing.assert_array_equal(qz5.budget_term(ds, "c3", "lateral_load").values,
                                  ds.budget_c3.values[:, terms.index("lateral_load")])
    assert list(ds.station.values) == list(STATIONS)
    town = ds.sel(station="town")
    assert town.station_x.item() == 15000.0
    np.testing.assert_array_equal(town.station_DOC.values, ds.station_DOC.values[:, 2])
    # The station at the first end follows the first grid point exactly.
    at_outputs = ds.sel(station="head", station_time=ds.time.values)
    np.testing.assert_allclose(at_outputs.station_salinity.values, ds.salinity.values[:, 0],
                               rtol=1e-12)


@pytest.mark.parametrize("stations,names", [
    ([5000.0, 15000.0], ["5000", "15000"]),
    ([0.5, 0.5, 2e4], ["0.5", "0.5#2", "20000"]),
    ([("a", 1.0), ("b", 2.0)], ["a", "b"]),
    ({"x": 7.0}, ["x"]),
])
def test_station_names_given_or_from_positions(stations, names):
    positions, given = qz5.results.station_list(stations)
    assert (given or qz5.results.station_names(positions)) == names
    assert len(positions) == len(names)


def test_station_names_must_be_distinct(estuary):
    ds = qz5.run(short_scenario(estuary, touts=(1.0,)), stations=[1000.0, 2000.0])
    with pytest.raises(ValueError, match="one distinct name per station"):
        qz5.results.index_coordinates(ds.drop_vars("station"), ["a", "a"])


def test_the_file_opens_with_the_same_indexes(named_run):
    ds, path = named_run
    # The names travel in the file beside the positions.
    xr.testing.assert_identical(qz5.open_dataset(path), ds)
    assert list(xr.open_dataset(path).station_name.values) == list(STATIONS)
    renamed = qz5.open_dataset(path, station_names=["a", "b", "c"])
    assert list(renamed.station.values) == ["a", "b", "c"]


def test_a_file_without_names_names_stations_by_position(estuary, tmp_path):
    s = short_scenario(estuary, touts=(1.0,))
    qz5.run(s, stations=[0.0, 5000.0, 15000.0], path=tmp_path / "r.nc")
    assert "station_name" not in xr.open_dataset(tmp_path / "r.nc").variables
    assert list(qz5.open_dataset(tmp_path / "r.nc").station.values) == ["0", "5000", "15000"]


def test_a_plainly_opened_file_decodes_times_and_the_figures_take_it(named_run):
    ds, path = named_run
    plain = xr.open_dataset(path)
    assert np.issubdtype(plain.time.dtype, np.timedelta64)
    np.testing.assert_array_equal(qz5.plot.days(plain.time.values), ds.time.values)
    axes = qz5.plot.profiles(plain, times=[8.0], names=["DOC"])
    line = axes[0].get_lines()[0]
    assert line.get_label() == "8 days"
    np.testing.assert_array_equal(line.get_ydata(), ds.DOC.sel(time=8.0).values)
    # Station and budget figures too: the bars sit on the intervals' centres.
    qz5.plot.stations(plain, names=["salinity"])
    bars = qz5.plot.budget(plain, names=["salinity"])[0].patches
    centres = sorted({round(b.get_x() + b.get_width() / 2, 9) for b in bars})
    assert centres == [2.0, 6.0]
    # budget_term works on the plain file (no term index) as on the Dataset.
    np.testing.assert_array_equal(qz5.budget_term(plain, "DOC", "change").values,
                                  ds.budget_DOC.sel(term="change").values)
    import matplotlib.pyplot as plt
    plt.close("all")


def in_process_ensemble(base, members, **kw):
    results = ensembles.run_members(base, list(enumerate(members)), kw)
    return ensembles.combine(base, results, members, list(range(len(members))))


def test_an_ensemble_keeps_units_and_indexes(estuary):
    base = short_scenario(estuary, touts=(4.0,))
    ens = in_process_ensemble(base, [{}, {"rxpar[1]": 1.0}], stations=[3000.0], budget=True,
                              constituents="salinity:psu")
    assert ens.sizes["member"] == 2 and "member" in ens.indexes
    assert ens.salinity.attrs["units"] == "psu" and ens.x.attrs["units"]
    assert ens.budget_salinity.attrs["units"] and "term" in ens.indexes
    assert list(ens.station.values) == ["3000"]
    np.testing.assert_array_equal(ens.budget_c4.sel(member=1, term="reaction").values,
                                  qz5.run(base.with_values({"rxpar[1]": 1.0}), budget=True)
                                  .budget_c4.sel(term="reaction").values)


def test_an_ensemble_on_dask_names_its_stations(client, estuary):
    base = short_scenario(estuary, touts=(2.0,))
    ens = qz5.ensemble(base, [{}, {"rxpar[4]": 0.12}], client=client,
                       stations={"town": 15000.0, "mouth": 23330.0})
    assert list(ens.station.values) == ["town", "mouth"]
    np.testing.assert_array_equal(ens.station_x.values, [15000.0, 23330.0])
    one = qz5.run(base.with_values({"rxpar[4]": 0.12}), stations=[15000.0, 23330.0])
    np.testing.assert_array_equal(ens.station_c4.sel(member=1, station="mouth").values,
                                  one.station_c4.sel(station="23330",
                                                     station_time=one.time.values).values)
