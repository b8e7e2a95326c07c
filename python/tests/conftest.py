import os
import pathlib
import shutil

import pytest

import qz5

REPO = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = pathlib.Path(os.environ.get("QZ5_EXAMPLES", REPO / "examples"))
ESTUARY = EXAMPLES / "estuary"
NAMES = ESTUARY / "estuary.fn"


@pytest.fixture(scope="session")
def estuary_base():
    return qz5.Scenario.from_names_file(NAMES)


@pytest.fixture
def estuary(estuary_base):
    """A fresh copy of the bundled scenario, free to change."""
    return estuary_base.copy()


@pytest.fixture(scope="session")
def client():
    """A LocalCluster of two worker processes, shared by the tests."""
    from qz5.ensembles import connect

    c, close = connect(None, n_workers=2)
    yield c
    close()


@pytest.fixture
def estuary_copy(tmp_path):
    """The bundled scenario's files in a scratch folder, free to corrupt."""
    d = tmp_path / "estuary"
    shutil.copytree(ESTUARY, d)
    return d


def pytest_configure(config):
    # Debian's netCDF4 extension was built against another numpy minor version.
    config.addinivalue_line("filterwarnings",
                            "ignore:numpy.ndarray size changed:RuntimeWarning")
    # Debian's distributed with its tornado.
    config.addinivalue_line("filterwarnings",
                            "ignore:make_current is deprecated:DeprecationWarning")


def first_values(path, skip=0):
    """The first value of every line, as the parameter reader takes them."""
    lines = pathlib.Path(path).read_text().splitlines()[skip:]
    return [line.split()[0] for line in lines if line.strip()]


def short_scenario(s, touts=(4.0, 8.0)):
    """The bundled scenario cut to its first output times, for fast runs."""
    s.touts = list(touts)
    return s


def executable():
    """The qz5 executable (ctest hands its path over; else the default build)."""
    exe = os.environ.get("QZ5_EXE") or str(REPO / "build" / "qz5")
    if not os.access(exe, os.X_OK):
        pytest.skip(f"the qz5 executable is not built ({exe})")
    return exe


def read_txc(path, npts):
    """The executable's concentration file: blocks of npts lines of time,
    position and the six concentrations."""
    import numpy as np
    rows = np.array([[float(v) for v in line.split()]
                     for line in pathlib.Path(path).read_text().splitlines() if line.strip()])
    return rows.reshape(-1, npts, rows.shape[1])
