"""The scenario as Python sees it: read from the files, set, checked, copied."""
import os
import pickle

import numpy as np
import pytest

import qz5
from conftest import ESTUARY, NAMES, first_values


def test_fields_hold_what_the_files_say(estuary):
    # Independent reading of the bundled files: first value of each record.
    prm = first_values(ESTUARY / "estuary.prm")
    s = estuary
    assert (s.ncomp, s.npts) == (int(prm[0]), int(prm[1]))
    assert [s.tau, s.kappa, s.alpha, s.atol, s.rtol] == [float(v) for v in prm[2:7]]
    assert s.info10 == int(prm[7])
    assert (s.use_ut0, s.li_from_bnd) == (prm[8] == "T", prm[9] == "T")
    assert [s.xconv, s.tunit_model, s.tunit_day] == [float(v) for v in prm[10:13]]
    np.testing.assert_array_equal(s.cconv, [float(v) for v in prm[13:19]])
    np.testing.assert_array_equal(s.rxpar, [float(v) for v in prm[19:38]])

    times = [float(v) for v in first_values(ESTUARY / "estuary.t")]
    # One model time unit is one day here, so the model times are the days.
    assert s.tstart == times[0]
    np.testing.assert_array_equal(s.touts, times[1:])
    assert s.ntimes == len(times) - 1

    bnd = np.loadtxt(ESTUARY / "estuary.bnd", skiprows=1)
    np.testing.assert_array_equal(s.bnd_tab, bnd)
    np.testing.assert_array_equal(s.xbnd, [0.0, 23330.0])
    # At the start time (a row of the table) the start values are that row.
    row = bnd[bnd[:, 0] == s.tstart][0]
    np.testing.assert_array_equal(s.cbnd0, np.column_stack([row[1:7], row[7:13]]))

    li = (ESTUARY / "estuary.li").read_text().splitlines()
    assert s.nlat == 3
    np.testing.assert_array_equal(s.x_lat, [float(v) for v in li[2].split()[:3]])
    np.testing.assert_array_equal(s.q_lat, [float(v) for v in li[3].split()[:3]])
    assert s.k_lat == 0.002
    np.testing.assert_array_equal(s.lat_tab, np.loadtxt(ESTUARY / "estuary.li", skiprows=5))

    drv = np.loadtxt(ESTUARY / "estuary.drv")
    np.testing.assert_array_equal(s.t_drv, drv[:, 0])
    np.testing.assert_array_equal(s.v_drv, drv[:, 1])
    assert s.geometry is None and s.outflow == "fixed"
    assert s.fn_ut0 == str(ESTUARY / "estuary.UT0")
    assert "Input files being used:" in s.read_console


def test_names_are_taken_from_the_names_files_folder(tmp_path, estuary):
    cwd = os.getcwd()
    os.chdir(tmp_path)
    try:
        s = qz5.Scenario.from_names_file(os.path.relpath(NAMES, tmp_path))
    finally:
        os.chdir(cwd)
    assert os.getcwd() == cwd
    assert s.to_dict().keys() == estuary.to_dict().keys()
    for name, value in s.to_dict().items():
        np.testing.assert_array_equal(np.asarray(value, dtype=object),
                                      np.asarray(estuary.to_dict()[name], dtype=object), name)


@pytest.mark.parametrize("file,line,text,expect", [
    ("estuary.prm", 0, "5   NCOMP", "NCOMP must be 6, not 5"),
    ("estuary.prm", 1, "abc   NPTS", "estuary.prm"),
    ("estuary.bnd", 3, " -20.0  0 1 2", "estuary.bnd"),
    ("estuary.fn", 2, "missing.prm", "missing.prm"),
])
def test_reader_failures_raise_with_the_systems_message(estuary_copy, file, line, text, expect):
    path = estuary_copy / file
    lines = path.read_text().splitlines()
    lines[line] = text
    path.write_text("\n".join(lines) + "\n")
    with pytest.raises(qz5.InputError) as info:
        qz5.Scenario.from_names_file(estuary_copy / "estuary.fn")
    assert expect in info.value.message
    assert info.value.status == 1
    assert "Input files being used:" in info.value.console


@pytest.mark.parametrize("name,value,expect", [
    ("ncomp", 5, "ncomp: must be 6"),
    ("npts", 2, "npts: at least 3"),
    ("npts", 20.5, "npts: not an integer"),
    ("rtol", -1e-4, "rtol: must not be negative"),
    ("tau", float("nan"), "tau: not finite"),
    ("xconv", 0.0, "xconv: must be positive"),
    ("info10", 2, "info10: must be 0 or 1"),
    ("rxpar", np.ones(18), "rxpar: 18 values given, 19 needed"),
    ("rxpar[13]", 0.0, "RXPAR(13) must not be zero"),
    ("cconv", [1, 1, 1, 0, 1, 1], "cconv: element 3 is zero"),
    ("xbnd", [5.0, 1.0], "xbnd: the first boundary must lie before the second"),
    ("touts", [], "touts: 0 output times"),
    ("bnd_tab", np.zeros((3, 12)), "bnd_tab: 12 columns given, 13 needed"),
    ("bnd_tab", np.zeros((1, 13)), "bnd_tab: 1 time points, at least 2"),
    ("bnd_tab", np.array([[2.0] + [0.0] * 12, [1.0] + [0.0] * 12]),
     "bnd_tab: times decrease at row 1"),
    ("x_lat", [1.0, 2.0], "x_lat: 2 values given, 3 needed"),
    ("t_drv", np.arange(48.0), "t_drv: 48 values given, 49 needed"),
    ("v_drv", np.full(49, np.inf), "v_drv: element 0 is not finite"),
    ("geometry", [[0, 1, 1], [0, 1, 1]], "geometry: "),
    ("geometry", [[0, 1], [1, 1]], "geometry: 2 columns given, 3 needed"),
    ("outflow", "open", "outflow: must be 'fixed' or 'free'"),
    ("cbnd0", np.zeros((6, 2)), "cbnd0: is derived from bnd_tab"),
    ("rtol", "small", "rtol: not a number"),
])
def test_bad_values_are_refused_when_set(estuary, name, value, expect):
    before = estuary.to_dict()
    with pytest.raises(qz5.ScenarioError) as info:
        estuary.set(name, value)
    assert expect in str(info.value)
    assert info.value.field == name.split("[")[0]
    # A refused value leaves the scenario as it was.
    after = estuary.to_dict()
    for k in before:
        np.testing.assert_array_equal(np.asarray(after[k], dtype=object),
                                      np.asarray(before[k], dtype=object), k)


def test_single_elements_by_name(estuary):
    assert qz5.scenario.parse_name("rxpar[7]") == ("rxpar", (7,))
    assert qz5.scenario.parse_name("RXPAR_7") == ("rxpar", (7,))
    assert qz5.scenario.parse_name("bnd_tab[2, 3]") == ("bnd_tab", (2, 3))
    assert qz5.scenario.parse_name("k_lat") == ("k_lat", None)
    estuary.set("rxpar_7", 0.35)
    assert estuary.rxpar[6] == 0.35 and estuary.get("rxpar[7]") == 0.35
    assert estuary.get("bnd_tab[3,1]") == -0.0 + 0.0  # third row's time, 0 days
    with pytest.raises(KeyError, match="index 20 outside 1..19"):
        estuary.set("rxpar[20]", 1.0)
    with pytest.raises(KeyError, match="no such scenario field"):
        estuary.set("rxpr[1]", 1.0)
    with pytest.raises(ValueError):
        estuary.rxpar[0] = 2.0  # read-only copy: assign the field instead


def test_start_values_follow_the_boundary_table_and_start_time(estuary):
    tab = estuary.bnd_tab
    estuary.tstart = 7.5  # halfway between the rows at 0 and 15 days
    i = np.searchsorted(tab[:, 0], 7.5) - 1
    f = (7.5 - tab[i, 0]) / (tab[i + 1, 0] - tab[i, 0])
    expect = (tab[i + 1, 1:] - tab[i, 1:]) * f + tab[i, 1:]
    np.testing.assert_array_equal(estuary.cbnd0, np.column_stack([expect[:6], expect[6:]]))
    flat = tab.copy()
    flat[:, 1:] = np.arange(1.0, 13.0)
    estuary.bnd_tab = flat
    np.testing.assert_array_equal(estuary.cbnd0[:, 0], np.arange(1.0, 7.0))
    np.testing.assert_array_equal(estuary.cbnd0[:, 1], np.arange(7.0, 13.0))


def test_file_names_set_from_python_are_made_absolute(estuary, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    estuary.fn_ut0 = "profile.UT0"
    estuary.fn_drv = "a/../run.drv"
    assert estuary.fn_ut0 == str(tmp_path / "profile.UT0")
    assert estuary.fn_drv == str(tmp_path / "run.drv")
    estuary.fn_li = "/elsewhere/run.li"  # an absolute name stays as given
    assert estuary.fn_li == "/elsewhere/run.li"
    estuary.fn_txc = ""
    assert estuary.fn_txc == ""


def test_lateral_inputs_and_driver_change_size_together(estuary):
    tab = np.column_stack([[-30.0, 300.0], np.ones((2, 12))])  # two inputs, six constituents
    estuary.set_lateral_inputs([100.0, 200.0], [5.0, 6.0], tab, k_lat=0.01)
    assert estuary.nlat == 2 and estuary.nlat_tpts == 2 and estuary.k_lat == 0.01
    np.testing.assert_array_equal(estuary.lat_tab, tab)
    with pytest.raises(qz5.ScenarioError, match="lat_tab: 19 columns given, 13 needed"):
        estuary.set_lateral_inputs([1.0, 2.0], [1.0, 1.0], np.zeros((2, 19)))
    assert estuary.nlat == 2  # unchanged after the refusal
    estuary.set_driver([-40.0, 400.0], [1.0, 2.0])
    assert estuary.npts_drv == 2
    with pytest.raises(qz5.ScenarioError, match="t_drv has 3 points, v_drv 2"):
        estuary.set_driver([0.0, 1.0, 2.0], [1.0, 2.0])


def test_copies_and_pickles_are_independent_and_equal(estuary):
    estuary.geometry = [[0.0, 100.0, 10.0], [30000.0, 200.0, 20.0]]
    estuary.outflow = "free"
    for twin in (pickle.loads(pickle.dumps(estuary)), estuary.copy()):
        assert type(twin) is qz5.Scenario
        for name, value in estuary.to_dict().items():
            np.testing.assert_array_equal(np.asarray(getattr(twin, name), dtype=object),
                                          np.asarray(value, dtype=object), name)
        twin.set("rxpar[1]", 9.0)
        assert estuary.get("rxpar[1]") == 1.2


def test_a_new_scenario_is_refused_until_filled():
    s = qz5.Scenario()
    assert s.ndrv == 1 and s.m == 0
    with pytest.raises(qz5.ScenarioError, match="ncomp: must be 6, not 0"):
        s.validate()


def test_tables_have_no_legacy_capacity(estuary):
    # A boundary held constant, written on 2 rows and on 400 daily rows
    # (past the legacy 100), must give the same run; then 250 output times
    # (past the legacy 200).
    s = estuary.with_values({"touts": [2.0, 4.0]})
    row = s.bnd_tab[s.bnd_tab[:, 0] == 0.0][0]
    two = np.array([row, row])
    two[:, 0] = [-100.0, 300.0]
    daily = np.tile(row, (400, 1))
    daily[:, 0] = np.arange(-100.0, 300.0)
    s.bnd_tab = two
    a = qz5.run(s)
    s.bnd_tab = daily
    b = qz5.run(s)
    for name in ("x", "c1", "c4"):
        np.testing.assert_array_equal(a[name].values, b[name].values, err_msg=name)
    s.touts = np.linspace(0.016, 4.0, 250)
    assert qz5.run(s).sizes["time"] == 251


def test_the_initial_profile_travels_with_the_scenario(estuary, tmp_path):
    # The profile file's rows, as read independently of the package.
    rows = np.loadtxt(ESTUARY / "estuary.UT0").reshape(-1, 8)
    np.testing.assert_array_equal(estuary.ut0_tab, rows)
    # A pickled copy runs where the file no longer is.
    s = estuary.with_values({"touts": [4.0]})
    s.fn_ut0 = str(tmp_path / "gone.UT0")
    moved = pickle.loads(pickle.dumps(s))
    np.testing.assert_array_equal(qz5.run(moved).c1.values,
                                  qz5.run(estuary.with_values({"touts": [4.0]})).c1.values)
