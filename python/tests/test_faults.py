"""Bad input and failures from the Python side: what must be refused (and
how), and the faults that must end a run cleanly with what it computed.

The subprocess cases run a small program in a fresh interpreter, so that a
crash at its exit, a signal or a resource limit touches only that program.
"""
import os
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest

import qz5
from conftest import NAMES, short_scenario

ENV = dict(os.environ)


# --- refusals -----------------------------------------------------------------------

REFUSALS = [
    # (what, keyword arguments of qz5.run, error class, part of the message)
    ("budget label name", dict(budget=True, constituents="term_name"), qz5.ScenarioError,
     'the name "term_name" is used by the result files'),
    ("dimension name", dict(constituents="salinity,station"), qz5.ScenarioError,
     'constituent 2: the name "station" is used'),
    ("term dimension", dict(budget=True, constituents="term"), qz5.ScenarioError,
     'the name "term" is used'),
    ("station prefix", dict(constituents="station_x"), qz5.ScenarioError,
     'the name "station_x" is used'),
    ("ensemble dimension", dict(constituents="member"), qz5.ScenarioError,
     'the name "member" is used'),
    ("too long for NetCDF", dict(constituents="a" * 249), qz5.ScenarioError,
     "at most 248 fit a NetCDF name"),
    ("list taken for a file", dict(constituents="names.txt"), qz5.ScenarioError,
     "nor is it a file (write @FILE"),
    ("step limit beyond a C long", dict(max_steps_per_interval=10**30), qz5.ScenarioError,
     "max_steps_per_interval: 1000000000000000000000000000000 is not a whole number"),
    ("step limit not whole", dict(max_steps_per_interval=2.5), qz5.ScenarioError,
     "max_steps_per_interval: 2.5 is not a whole number"),
    ("stations as a table", dict(stations=[[1000.0, 2000.0]]), qz5.ScenarioError,
     "stations: an array of shape (1, 2); a list of positions is needed"),
    ("stations of text", dict(stations=["here"]), qz5.ScenarioError, "stations: could not convert"),
    ("NetCDF on a folder", dict(path="."), qz5.ScenarioError, "is a folder, not a file"),
    ("NetCDF in a missing folder", dict(path="/nonexistent/r.nc"), qz5.ScenarioError,
     "the folder /nonexistent does not exist"),
    ("NetCDF on a device", dict(path="/dev/full"), qz5.ScenarioError, "is a device"),
    ("NetCDF over an input", dict(path=str(NAMES.parent / "." / "estuary.prm")), qz5.ScenarioError,
     "is the same file as the parameter file"),
    ("NetCDF over the names file", dict(path=str(NAMES)), qz5.ScenarioError,
     "is the same file as the names file"),
]


@pytest.mark.parametrize("what,kwargs,error,message", REFUSALS, ids=[r[0] for r in REFUSALS])
def test_refused_before_the_run(estuary, what, kwargs, error, message):
    if "path" in kwargs and not qz5._core.HAVE_NETCDF:
        pytest.skip("this build writes no NetCDF files itself")
    with pytest.raises(error) as e:
        qz5.run(short_scenario(estuary), **kwargs)
    assert message in str(e.value)


def test_complex_values_are_refused_not_truncated(estuary):
    with pytest.raises(qz5.ScenarioError, match="touts: complex numbers given"):
        estuary.touts = np.asarray(estuary.touts) + 1j
    assert not np.iscomplexobj(estuary.touts)


def test_names_file_naming_a_file_in_other_bytes(tmp_path):
    names = NAMES.read_bytes().replace(b"estuary.prm", b"estuar\xff.prm")
    # The reader looks for the file by its bytes, so give it one.
    for f in NAMES.parent.iterdir():
        target = f.name.encode().replace(b"estuary.prm", b"estuar\xff.prm")
        (tmp_path / os.fsdecode(target)).write_bytes(f.read_bytes())
    (tmp_path / "bytes.fn").write_bytes(names)
    with pytest.raises(qz5.InputError, match="parameter file's name is not UTF-8"):
        qz5.Scenario.from_names_file(tmp_path / "bytes.fn")


# --- faults that end cleanly ----------------------------------------------------------------

def run_program(body, timeout=120, interrupt_after=None):
    """Runs the program in a fresh interpreter; returns (status, output). With
    interrupt_after, sends SIGINT that many seconds after it printed 'go'."""
    program = "import qz5\nscenario = qz5.Scenario.from_names_file(%r)\n" % str(NAMES)
    program += textwrap.dedent(body)
    p = subprocess.Popen([sys.executable, "-c", program], env=ENV, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True)
    if interrupt_after is not None:
        assert p.stdout.readline().strip() == "go"
        time.sleep(interrupt_after)
        p.send_signal(signal.SIGINT)
    out, _ = p.communicate(timeout=timeout)
    return p.returncode, out


@pytest.mark.skipif(not qz5._core.HAVE_NETCDF, reason="this build writes no NetCDF files itself")
def test_full_disk_raises_write_error_with_every_computed_time(tmp_path):
    # A 1 MB limit on file size stands for a full disk (Python ignores
    # SIGXFSZ, so the write fails as on a full disk).
    status, out = run_program(f"""
        import resource
        s = scenario.copy()
        s.touts = s.touts[:4]
        resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, resource.RLIM_INFINITY))
        try:
            qz5.run(s, stations=[1000.0 + 10 * i for i in range(2000)], path={str(tmp_path / 'r.nc')!r})
        except qz5.WriteError as e:
            assert isinstance(e, OSError)
            print("times", e.dataset.sizes["time"], "message", e)
        """)
    assert status == 0, out  # no crash at the interpreter's exit
    assert "times 5 message " in out, out
    assert "the file could not be closed and was removed" in out or \
        "the file is closed and holds what was written before" in out, out


def test_ctrl_c_stops_the_run_with_the_partial_dataset():
    status, out = run_program("""
        import time
        s = scenario.copy()
        s.info10 = 1
        print("go", flush=True)
        t0 = time.time()
        try:
            qz5.run(s, rtol=1e-10, atol=1e-10, stations=[5000.0], max_steps_per_interval=10**8)
        except qz5.Interrupted as e:
            assert isinstance(e, KeyboardInterrupt)
            print("interrupted after", round(time.time() - t0, 1), "samples",
                  e.dataset.sizes["station_time"], "profiles", e.dataset.sizes["time"])
        """, interrupt_after=1.0)
    assert status == 0, out
    words = out.split()
    assert "interrupted" in words, out
    # Stopped within a second of the signal, with the steps taken so far.
    assert float(words[words.index("after") + 1]) < 2.5, out
    assert int(words[words.index("samples") + 1]) > 1, out
    assert int(words[words.index("profiles") + 1]) == 1, out


def test_refused_members_come_back_marked_and_the_others_are_kept(client, estuary):
    base = short_scenario(estuary, touts=(4.0,))
    base.use_ut0 = False
    members = [{}, {"rxpar[1]": "abc"}, {"no_such_field": 1.0}, {"npts": 41},
               {"rxpar[1]": 1.1}]
    ds = qz5.ensemble(base, members, client=client)
    assert list(ds.status.values) == ["complete", "refused", "refused", "incompatible",
                                      "complete"]
    assert "could not convert string to float: 'abc'" in ds.message.values[1]
    assert "no_such_field: no such scenario field" in ds.message.values[2]
    assert "its grid of 41 points differs from the ensemble's 81" in ds.message.values[3]
    assert ds.sizes["point"] == 81
    for i in (1, 2, 3):
        assert np.isnan(ds.c1.isel(member=i)).all()
    one = base.copy()
    one.set("rxpar[1]", 1.1)
    np.testing.assert_array_equal(ds.c4.isel(member=4).values, qz5.run(one).c4.values)
    # The varied parameter, NaN where its value was no number.
    np.testing.assert_array_equal(ds.rxpar_1.values, [1.2, np.nan, 1.2, 1.2, 1.1])
    assert "no_such_field" not in ds.coords


@pytest.mark.parametrize("how", ["stdin", "script"])
def test_ensemble_from_standard_input_and_an_unguarded_script(tmp_path, how):
    program = textwrap.dedent(f"""
        import qz5
        s = qz5.Scenario.from_names_file({str(NAMES)!r})
        s.touts = s.touts[:1]
        ds = qz5.ensemble(s, [{{}}, {{"rxpar[1]": 1.1}}], n_workers=1)
        print("statuses", list(ds.status.values))
        """)
    if how == "stdin":
        cmd, stdin = [sys.executable, "-"], program
    else:  # a script without an if __name__ == "__main__" guard
        (tmp_path / "script.py").write_text(program)
        cmd, stdin = [sys.executable, str(tmp_path / "script.py")], None
    p = subprocess.run(cmd, input=stdin, env=ENV, capture_output=True, text=True, timeout=180)
    assert "statuses ['complete', 'complete']" in p.stdout, p.stdout + p.stderr[-2000:]
