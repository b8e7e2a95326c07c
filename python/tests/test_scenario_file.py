"""Scenario files from Python: the shipped estuary.toml reads into the same
scenario as the legacy names file and runs to the same results; a scenario
written with to_file reads back unchanged; a malformed file raises with its
place."""
import pickle
import tomllib

import numpy as np
import pytest

import qz5
from conftest import ESTUARY

FIELDS = ["npts", "ncomp", "tau", "kappa", "alpha", "rtol", "atol", "info10", "use_ut0",
          "li_from_bnd", "xconv", "tunit_model", "tunit_day", "tstart", "touts", "cconv",
          "rxpar", "xbnd", "cbnd0", "bnd_tab", "x_lat", "q_lat", "k_lat", "lat_tab", "t_drv",
          "v_drv", "ut0_tab"]


def assert_same_inputs(a, b):
    for name in FIELDS:
        np.testing.assert_array_equal(np.asarray(a.get(name)), np.asarray(b.get(name)),
                                      err_msg=name)


@pytest.fixture(scope="module")
def from_toml():
    return qz5.Scenario.from_file(ESTUARY / "estuary.toml")


def test_scenario_file_gives_the_names_files_inputs(from_toml, estuary):
    assert_same_inputs(from_toml, estuary)
    # from_file takes a names file too.
    assert_same_inputs(qz5.Scenario.from_file(ESTUARY / "estuary.fn"), estuary)


def test_both_run_to_the_same_profiles(from_toml, estuary):
    a, b = from_toml.copy(), estuary.copy()
    for s in (a, b):
        s.touts = s.touts[:3]
    ra, rb = qz5.run(a), qz5.run(b)
    # The scenario file names its constituents; the names file leaves them c1..c6.
    for name_a, name_b in [("x", "x"), ("salinity", "c1"), ("din", "c3"), ("detritus", "c6")]:
        np.testing.assert_array_equal(ra[name_a].values, rb[name_b].values)


def test_a_run_takes_the_constituents_the_scenario_file_names(from_toml, tmp_path):
    # The names and units as the file states them, read with Python's own TOML reader.
    with open(ESTUARY / "estuary.toml", "rb") as f:
        declared = [(c["name"], c.get("unit", "file units")) for c in tomllib.load(f)["constituents"]]
    short = from_toml.copy()
    short.touts = short.touts[:1]
    for s in (short, pickle.loads(pickle.dumps(short))):
        ds = qz5.run(s)
        assert [(n, ds[n].attrs["units"]) for n in qz5.plot.constituents(ds)] == declared
    # A run's own names win; written out and read back, the file's names stay.
    assert qz5.plot.constituents(qz5.run(short, constituents="a,b,c,d,e,f")) == list("abcdef")
    short.to_file(tmp_path / "again.toml")
    assert qz5.Scenario.from_file(tmp_path / "again.toml").constituent_names == short.constituent_names


def test_to_file_writes_a_scenario_that_reads_back_unchanged(from_toml, tmp_path):
    written = from_toml.to_file(tmp_path / "copy.toml",
                                "salinity:psu,doc,din,phyto,consumers,detritus")
    assert written[0].endswith("copy.toml")
    assert len(written) == 8  # the scenario, both ends, three inputs, driver, profile
    text = (tmp_path / "copy.toml").read_text()
    assert 'name = "salinity"\nunit = "psu"' in text
    assert_same_inputs(qz5.Scenario.from_file(tmp_path / "copy.toml"), from_toml)


def test_a_malformed_scenario_file_raises_with_its_place(tmp_path):
    text = (ESTUARY / "estuary.toml").read_text().replace("atol = 0.001 ", "atol = \"0,001\" ")
    bad = tmp_path / "bad.toml"
    bad.write_text(text)
    with pytest.raises(qz5.InputError) as e:
        qz5.Scenario.from_file(bad)
    assert "bad.toml, line 37, column 8" in str(e.value)
    assert "(with a decimal comma); expected a number" in str(e.value)


@pytest.mark.parametrize("tunit_model, tunit_day", [(24.0, 1.0), (1.0, 7.0), (3.0, 10.0)])
def test_to_file_keeps_model_times_in_other_units_exactly(from_toml, tmp_path, tunit_model,
                                                          tunit_day):
    # Model times in hours, weeks, ...: the file holds days, and reading it
    # back divides them into the very same model times. The times chosen are
    # what a reader makes of days (days / (TUNIT_DAY / TUNIT_MODEL)), so a
    # file can hold each of them.
    s = from_toml.copy()
    s.tunit_model, s.tunit_day = tunit_model, tunit_day
    q = tunit_day / tunit_model
    s.tstart = -0.5 / q
    s.touts = [d / q for d in np.linspace(0.1, 3.7, 37)]
    s.to_file(tmp_path / "units.toml", "salinity:psu,doc,din,phyto,consumers,detritus")
    back = qz5.Scenario.from_file(tmp_path / "units.toml")
    assert back.tunit_model == tunit_model and back.tunit_day == tunit_day
    assert back.tstart == s.tstart
    np.testing.assert_array_equal(np.asarray(back.touts), np.asarray(s.touts))


def test_a_scenario_with_declared_kinetics_writes_them_inline(tmp_path):
    # bod_do's kinetics read a temperature series from their own folder; the
    # inline copy elsewhere must name it from its new folder.
    folder = ESTUARY.parent / "kinetics" / "bod_do"
    s = qz5.Scenario.from_file(folder / "bod_do.toml")
    assert s.ncomp == 2 and s.kinetics is not None
    s.to_file(tmp_path / "copy.toml")
    text = (tmp_path / "copy.toml").read_text()
    assert "[[kinetics.constituents]]" in text and "[kinetics.forcings]" in text
    back = qz5.Scenario.from_file(tmp_path / "copy.toml")
    assert_same_inputs(back, s)
    assert back.kinetics.rates == s.kinetics.rates
    forcing = tmp_path / back.kinetics.forcings["temperature"]
    assert forcing.resolve() == (folder.parent / "temperature.csv").resolve()
    ra, rb = qz5.run(s), qz5.run(back)
    for name in ["BOD", "DO"]:
        np.testing.assert_array_equal(ra[name].values, rb[name].values)
