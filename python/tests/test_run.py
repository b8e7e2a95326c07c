"""One run from Python: the Dataset, its agreement with the executable and
with the file, failures as exceptions, options, threads."""
import subprocess
import shutil
import threading
import time

import numpy as np
import pytest
import xarray as xr

import qz5
from conftest import ESTUARY, executable, read_txc, short_scenario


@pytest.fixture(scope="module")
def estuary_run(estuary_base):
    return qz5.run(estuary_base)


def test_profiles_match_the_executables_output_file(tmp_path, estuary_run):
    d = tmp_path / "run"
    shutil.copytree(ESTUARY, d)
    out = subprocess.run([executable(), "estuary.fn"], cwd=d, capture_output=True, text=True)
    assert out.returncode == 0 and out.stdout.splitlines()[-1] == "Ready"
    txc = read_txc(d / "estuary.txc", 81)
    ds = estuary_run
    assert ds.sizes["time"] == txc.shape[0] == 31
    # The file holds single-precision values with five significant digits.
    np.testing.assert_allclose(np.broadcast_to(ds.time.values[:, None], (31, 81)), txc[:, :, 0],
                               rtol=6e-5)
    np.testing.assert_allclose(ds.x.values, txc[:, :, 1], rtol=6e-5, atol=1e-12)
    for k in range(6):
        np.testing.assert_allclose(ds[f"c{k + 1}"].values, txc[:, :, 2 + k], rtol=6e-5,
                                   atol=1e-30, err_msg=f"c{k + 1}")
    assert ds.attrs["message"] == "Ready" and ds.attrs["status"] == "complete"
    # RESULT's last statistics lines carry the same counters.
    result = (d / "RESULT").read_text().split()
    last = len(result) - 1 - result[::-1].index("STEPS,")
    assert int(result[last + 3]) == ds.attrs["integrator_steps"]


def test_the_dataset_is_what_the_executables_netcdf_file_holds(tmp_path):
    d = tmp_path / "run"
    shutil.copytree(ESTUARY, d)
    out = subprocess.run([executable(), "--netcdf", "run.nc", "--stations", "5000,15000",
                          "--budget", "budget.csv", "--constituents", "salinity:psu,DOC:umol/L",
                          "--length-unit", "m", "estuary.fn"], cwd=d, capture_output=True,
                         text=True)
    if "--netcdf" in out.stdout and out.returncode != 0:
        pytest.skip("this build of the executable writes no NetCDF files")
    assert out.returncode == 0, out.stdout
    file = xr.open_dataset(d / "run.nc", decode_times=False)
    s = qz5.Scenario.from_names_file(d / "estuary.fn")
    ds = qz5.run(s, stations=[5000.0, 15000.0], budget=True, constituents="salinity:psu,DOC:umol/L",
                 length_unit="m")
    # The names of the input files: as the names file gives them to the
    # executable, absolute from Python; the files themselves are the same.
    for role in ("names", "parameters", "lateral_inputs", "boundaries", "output_times",
                 "initial_profile", "driver"):
        assert ds.attrs["input_" + role] == str(d / file.attrs["input_" + role])
        assert ds.attrs[f"input_{role}_sha256"] == file.attrs[f"input_{role}_sha256"]
    inputs = {k: ds.attrs[k] for k in ds.attrs if k.startswith("input_")}
    # The Dataset is the file's contents with indexes on term and station.
    xr.testing.assert_identical(ds.drop_vars(["term", "station"]), file.assign_attrs(inputs))
    xr.testing.assert_identical(ds, qz5.open_dataset(d / "run.nc").assign_attrs(inputs))


def test_the_dataset_is_what_its_file_reads_back(tmp_path, estuary_base):
    path = tmp_path / "run.nc"
    ds = qz5.run(estuary_base, stations=[0.0, 5000.0, 23330.0], budget=True, path=path,
                 constituents="salinity:psu,DOC:umol/L", length_unit="m")
    back = xr.open_dataset(path, decode_times=False)
    xr.testing.assert_identical(ds.drop_vars(["term", "station"]), back)
    xr.testing.assert_identical(ds, qz5.open_dataset(path))
    # The writer through the netCDF4 package, for builds without the C writer.
    raw = qz5._core.run(estuary_base, qz5.results.run_args(
        stations=[0.0, 5000.0, 23330.0], budget=True, constituents="salinity:psu,DOC:umol/L",
        length_unit="m"))
    qz5.results.write_record(raw["record"], tmp_path / "py.nc")
    xr.testing.assert_identical(ds.drop_vars(["term", "station"]),
                                xr.open_dataset(tmp_path / "py.nc", decode_times=False))
    assert set(ds.coords) == {"time", "x", "station_x", "station_time", "interval", "term_name",
                              "term", "station"}
    assert ds.salinity.attrs["units"] == "psu" and ds.c3.attrs["units"] == "file units"
    assert ds.x.attrs["units"] == "m" and ds.time.attrs["units"] == "days"
    assert ds.budget_salinity.attrs["units"] == "psu m3"
    assert list(ds.term_name.values)[:3] == ["mass_start", "mass_end", "change"]
    # Stations at the reach's ends read the end points' values (the end
    # points sit on the ends up to rounding).
    at_ends = ds.sel(station_time=ds.time.values)
    np.testing.assert_allclose(at_ends.station_salinity.isel(station=0), ds.salinity[:, 0],
                               rtol=1e-12, atol=1e-20)
    np.testing.assert_allclose(at_ends.station_DOC.isel(station=2), ds.DOC[:, -1],
                               rtol=1e-12, atol=1e-20)


def test_a_stop_during_the_run_raises_with_the_systems_message(estuary):
    estuary.touts = np.arange(10.0, 400.0, 10.0)  # the driver ends at 210 days
    with pytest.raises(qz5.RunError) as info:
        qz5.run(estuary)
    e = info.value
    assert e.status == 1 and "Var_drv::t outside data range of driver" in e.message
    assert e.dataset.attrs["status"] == "stopped"
    assert e.dataset.time.values[-1] <= 210.0
    # The same run without raising gives the partial Dataset itself.
    ds = qz5.run(estuary, raise_on_failure=False)
    assert ds.attrs["exit_status"] == 1 and "Var_drv" in e.console


def test_a_failed_integration_keeps_what_was_computed(estuary):
    ds = qz5.run(estuary, max_steps_per_interval=5, raise_on_failure=False)
    assert ds.attrs["status"] == "failed" and ds.attrs["exit_status"] == 2
    assert ds.attrs["message"] == "DASSL error" and ds.attrs["idid"] == -1
    # The start profile and the profile at the time reached, before 4 days.
    assert ds.sizes["time"] == 2 and 0.0 < ds.time.values[1] < 4.0
    with pytest.raises(qz5.RunError, match="DASSL error") as info:
        qz5.run(estuary, max_steps_per_interval=5)
    assert info.value.status == 2
    assert "STEPS TAKEN SINCE THE LAST OUTPUT" in info.value.message


@pytest.mark.parametrize("change,kw,field", [
    ({}, {"stations": [-5.0]}, "stations"),
    ({}, {"rtol": -1.0}, "rtol"),
    ({}, {"constituents": "salinity,salinity"}, "constituents"),
    ({"lat_tab": np.array([[1.0] + [0.0] * 18, [0.0] * 19])}, {}, "lat_tab"),  # times decrease
    ({"touts": []}, {}, "touts"),
])
def test_fields_a_run_cannot_start_with_are_refused(estuary, change, kw, field):
    if change:
        estuary._restore(change)  # as a pickled scenario would, unchecked
    with pytest.raises(qz5.ScenarioError) as info:
        qz5.run(estuary, **kw)
    assert info.value.field == field and str(info.value).startswith(field + ":")


def test_options_and_changes_are_recorded(estuary):
    short_scenario(estuary)
    estuary.set("rxpar[1]", 1.5)
    ds = qz5.run(estuary, rtol=1e-6, atol=1e-5)
    assert (ds.attrs["RTOL"], ds.attrs["ATOL"]) == (1e-6, 1e-5)
    assert ds.attrs["changed_from_inputs"] == "rxpar, touts"
    assert list(ds.time.values) == [0.0, 4.0, 8.0]


def test_a_scenario_built_in_code_needs_no_input_files(estuary):
    short_scenario(estuary)
    reference = qz5.run(estuary)
    fields = estuary.to_dict()
    for name in ("fn_prm", "fn_li", "fn_bnd", "fn_t", "fn_drv", "fn_txc"):
        fields[name] = ""
    s = qz5.Scenario()
    s._restore(fields)
    ds = qz5.run(s)
    # Only the initial profile is still read from its file when the run starts.
    assert [k for k in ds.attrs if k.startswith("input_")] == \
        ["input_initial_profile", "input_initial_profile_sha256"]
    for k in range(1, 7):
        np.testing.assert_array_equal(ds[f"c{k}"].values, reference[f"c{k}"].values)
    s.use_ut0 = False
    s.fn_ut0 = ""
    linear = qz5.run(s)
    assert not [k for k in linear.attrs if k.startswith("input_")]
    # Linear between the boundaries' start values at the start.
    np.testing.assert_allclose(linear.c1[0], np.linspace(*s.cbnd0[0], s.npts), rtol=1e-14)


def test_threads_run_side_by_side_with_the_gil_released(estuary_base):
    variants = []
    for f in (1.0, 1.2, 0.8, 1.1):
        s = estuary_base.copy()
        s.set("rxpar[1]", 1.2 * f)
        variants.append(s)
    serial = [qz5.run(s).c4.values for s in variants]
    results = [None] * len(variants)
    window = {}
    ticks = []

    def work(i):
        t0 = time.perf_counter()
        results[i] = qz5.run(variants[i], rtol=1e-6).c4.values if i == 0 else \
            qz5.run(variants[i]).c4.values
        window[i] = (t0, time.perf_counter())

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(variants))]
    for t in threads:
        t.start()
    while any(t.is_alive() for t in threads):
        ticks.append(time.perf_counter())  # the main thread runs Python meanwhile
    for t in threads:
        t.join()
    for i in range(1, len(variants)):
        np.testing.assert_array_equal(results[i], serial[i])
    # While the engine ran, the interpreter kept running Python code: in the
    # middle of the longest run the main thread still ticked.
    t0, t1 = window[0]
    mid = [t for t in ticks if t0 + 0.3 * (t1 - t0) < t < t1 - 0.3 * (t1 - t0)]
    assert t1 - t0 > 0.05 and len(mid) > 100
