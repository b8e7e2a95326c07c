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


@pytest.fixture
def estuary_copy(tmp_path):
    """The bundled scenario's files in a scratch folder, free to corrupt."""
    d = tmp_path / "estuary"
    shutil.copytree(ESTUARY, d)
    return d


def first_values(path, skip=0):
    """The first value of every line, as the parameter reader takes them."""
    lines = pathlib.Path(path).read_text().splitlines()[skip:]
    return [line.split()[0] for line in lines if line.strip()]


def short_scenario(s, days=8.0, npts=21, step=4.0):
    """The bundled scenario cut to a few output times on a coarse grid, for
    fast runs: a linear initial profile between the boundaries."""
    s.npts = npts
    s.use_ut0 = False
    n = int(round(days / step))
    s.touts = [s.tstart + step * (i + 1) for i in range(n)]
    return s
