"""The command-line module against the executable: the same options, the
same files."""
import re
import shutil
import subprocess
import sys

import pytest
import xarray as xr

from conftest import EXAMPLES, executable

ENV = {"PYTHONPATH": ":".join(sys.path), "MPLBACKEND": "Agg"}


def py(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "qz5", *args], capture_output=True, text=True,
                          env=ENV, cwd=cwd)


def test_every_option_of_the_executable_has_its_namesake():
    help_text = subprocess.run([executable(), "--help"], capture_output=True, text=True).stdout
    options = set(re.findall(r"^\s+(--[a-z][a-z-]*)", help_text, re.M))
    assert {"--geometry", "--outflow", "--budget", "--netcdf", "--stations"} <= options
    run_help = py("run", "--help").stdout
    top_help = py("--help").stdout
    missing = [o for o in sorted(options)
               if not re.search(rf"(^|\s){o}(\s|$|,)", run_help + top_help)]
    assert not missing, f"options of qz5 that python -m qz5 lacks: {missing}"
    # --budget takes a file name in both.
    assert re.search(r"--budget FILE", run_help)


def test_the_same_run_writes_the_same_files(tmp_path):
    """The river example with a channel table and a free outflow, run by the
    executable in its folder and by the module from another folder."""
    exe_dir, py_dir = tmp_path / "exe", tmp_path / "elsewhere"
    shutil.copytree(EXAMPLES / "river", exe_dir)
    py_dir.mkdir()
    (py_dir / "names.txt").write_text("salinity:psu  # the tracer\nDOC:umol/L\n")
    options = ["--geometry", str(exe_dir / "river.geo"), "--outflow", "free",
               "--stations", "1000,6000", "--stations-csv", "stations.csv",
               "--budget", "budget.csv", "--netcdf", "run.nc", "--length-unit", "m"]
    out = subprocess.run([executable(), *options, "--constituents", "salinity:psu,DOC:umol/L",
                          "river.fn"], cwd=exe_dir, capture_output=True, text=True)
    if "without NetCDF" in out.stdout:
        pytest.skip("this build of the executable writes no NetCDF files")
    assert out.returncode == 0, out.stdout
    mine = py("run", str(exe_dir / "river.fn"), *options, "--constituents", "names.txt",
              cwd=py_dir)
    assert mine.returncode == 0, mine.stderr
    assert mine.stdout.strip() == "run.nc, stations.csv, budget.csv: complete, Ready"
    for name in ("stations.csv", "budget.csv"):
        assert (py_dir / name).read_bytes() == (exe_dir / name).read_bytes(), name
    a = xr.open_dataset(exe_dir / "run.nc", decode_times=False)
    b = xr.open_dataset(py_dir / "run.nc", decode_times=False)
    inputs = {k: v for k, v in a.attrs.items() if k.startswith("input_")}
    # The module sets the channel table and the outflow on the scenario it
    # read, and the file says so.
    assert b.attrs.pop("changed_from_inputs") == "geometry, outflow"
    xr.testing.assert_identical(a, b.assign_attrs(inputs))
    # Without --geometry the channel is the built-in one: another run.
    plain = py("run", str(exe_dir / "river.fn"), "--budget", "plain.csv", cwd=py_dir)
    assert plain.returncode == 0
    assert (py_dir / "plain.csv").read_bytes() != (py_dir / "budget.csv").read_bytes()


@pytest.mark.parametrize("args,status,text", [
    (["run", "NAMES"], 1, "give at least one of --netcdf, --stations-csv, --budget"),
    (["run", "NAMES", "--stations-csv", "s.csv"], 1, "--stations-csv needs --stations"),
    (["run", "NAMES", "--budget", "b.csv", "--geometry", "GEO"], 1,
     'Error reading file "GEO", line 3: "x" is not a valid real'),
    (["run", "NAMES", "--budget", "b.csv", "--outflow", "open"], 2, "invalid choice: 'open'"),
    (["run", "NAMES", "--budget", "b.csv", "--max-steps", "5"], 2, ""),
])
def test_refusals_and_failures_have_the_executables_statuses(tmp_path, args, status, text):
    geo = tmp_path / "bad.geo"
    geo.write_text("title\n0 40 1e6\nx 45 1e6\n")
    args = [str(EXAMPLES / "estuary" / "estuary.fn") if a == "NAMES" else
            str(geo) if a == "GEO" else a for a in args]
    out = py(*args, cwd=tmp_path)
    assert out.returncode == status, out.stderr
    assert text.replace("GEO", str(geo)) in out.stderr


def test_the_engine_options_mean_what_they_mean_for_the_executable(tmp_path):
    exe_dir = tmp_path / "exe"
    shutil.copytree(EXAMPLES / "estuary", exe_dir)
    opts = ["--jacobian", "exact", "--nonnegative", "project", "--position-tolerance", "1e-3,1e-2",
            "--position-error-test", "off"]
    out = subprocess.run([executable(), *opts, "--budget", "b.csv", "estuary.fn"], cwd=exe_dir,
                         capture_output=True, text=True)
    assert out.returncode == 0, out.stdout
    mine = py("run", str(exe_dir / "estuary.fn"), *opts, "--budget", "b.csv", cwd=tmp_path)
    plain = py("run", str(exe_dir / "estuary.fn"), "--budget", "plain.csv", cwd=tmp_path)
    assert mine.returncode == 0 and plain.returncode == 0, mine.stderr + plain.stderr
    assert (tmp_path / "b.csv").read_bytes() == (exe_dir / "b.csv").read_bytes()
    assert (tmp_path / "plain.csv").read_bytes() != (tmp_path / "b.csv").read_bytes()


@pytest.mark.parametrize("resolve, readable", [("names-file", True), ("working-folder", False)])
def test_names_inside_the_names_file_resolve_where_asked(tmp_path, monkeypatch, resolve, readable):
    """From the folder above the scenario's own, the names inside the names
    file are found beside it only when they are resolved against its folder."""
    import qz5
    sub = tmp_path / "sub"
    shutil.copytree(EXAMPLES / "estuary", sub)
    monkeypatch.chdir(tmp_path)
    if readable:
        s = qz5.Scenario.from_names_file("sub/estuary.fn", resolve_names=resolve)
        assert s.npts == 81
        assert s.fn_prm == str(sub / "estuary.prm")
    else:
        with pytest.raises(qz5.InputError, match="estuary.prm"):
            qz5.Scenario.from_names_file("sub/estuary.fn", resolve_names=resolve)
    with pytest.raises(ValueError, match="resolve_names"):
        qz5.Scenario.from_names_file("sub/estuary.fn", resolve_names="beside")


def test_module_resolves_against_the_working_folder_when_asked(tmp_path):
    sub = tmp_path / "sub"
    shutil.copytree(EXAMPLES / "estuary", sub)
    out = py("run", "--resolve-names", "working-folder", "sub/estuary.fn", "--budget", "b.csv",
             cwd=tmp_path)
    assert out.returncode == 1, out.stdout + out.stderr
    assert "estuary.prm" in out.stdout + out.stderr
