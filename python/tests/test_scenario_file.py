"""Scenario files from Python: the shipped estuary.toml reads into the same
scenario as the legacy names file and runs to the same results; a scenario
written with to_file reads back unchanged; a malformed file raises with its
place."""
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
    for name in ["x", "c1", "c3", "c6"]:
        np.testing.assert_array_equal(ra[name].values, rb[name].values)


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
