"""pip install . into a scratch prefix, offline against Debian's packages,
and the installed package used from another folder."""
import os
import pathlib
import re
import subprocess
import sys

import pytest

import qz5
from conftest import NAMES, REPO


def build_dir():
    """The CMake build folder of the extension under test (ctest hands it
    over); pip then only brings it up to date instead of building anew."""
    d = pathlib.Path(os.environ.get("QZ5_BUILD_DIR") or
                     pathlib.Path(qz5._core.__file__).resolve().parents[2])
    if not (d / "CMakeCache.txt").exists():
        pytest.skip(f"no CMake build folder at {d}")
    return d


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    prefix = tmp_path_factory.mktemp("prefix")
    env = dict(os.environ, QZ5_CMAKE_BUILD_DIR=str(build_dir()), PIP_NO_INDEX="1",
               PIP_DISABLE_PIP_VERSION_CHECK="1")
    env.pop("PYTHONPATH", None)
    out = subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation",
                          "--no-deps", "--prefix", str(prefix), str(REPO)],
                         capture_output=True, text=True, env=env, cwd=prefix)
    assert out.returncode == 0, out.stdout + out.stderr
    # Debian's interpreter puts a prefix's packages under <prefix>/local.
    found = list(prefix.glob("**/qz5/__init__.py"))
    assert len(found) == 1, found
    site = found[0].parents[1]
    scripts = list(prefix.glob("**/bin/qz5-py"))
    assert len(scripts) == 1, scripts
    return site, scripts[0]


def elsewhere(tmp_path, site, *cmd):
    # Only the installed package on the path: no build folder, no sources.
    env = {"PATH": "/usr/bin:/bin", "PYTHONPATH": str(site), "MPLBACKEND": "Agg"}
    return subprocess.run(list(cmd), capture_output=True, text=True, env=env, cwd=tmp_path)


def test_python_m_qz5_runs_from_the_installed_package(installed, tmp_path):
    site, script = installed
    out = elsewhere(tmp_path, site, sys.executable, "-m", "qz5", "--help")
    assert out.returncode == 0, out.stderr
    assert out.stdout.startswith("usage: python -m qz5") and "{run,plot}" in out.stdout
    where = elsewhere(tmp_path, site, sys.executable, "-c",
                      "import qz5, qz5.plot; print(qz5.__file__, qz5._core.__file__)")
    assert where.returncode == 0, where.stderr
    assert all(p.startswith(str(site)) for p in where.stdout.split())
    version = re.search(r'kVersion = "([^"]+)"', (REPO / "src/engine/version.h").read_text())[1]
    v = elsewhere(tmp_path, site, str(script), "--version")
    assert v.returncode == 0 and v.stdout.strip() == f"qz5 {version}", v.stderr
    for name in ("_core.pyi", "py.typed"):
        assert (site / "qz5" / name).exists(), name


def test_the_installed_package_runs_a_scenario(installed, tmp_path):
    site, script = installed
    out = elsewhere(tmp_path, site, str(script), "run", str(NAMES), "--budget", "b.csv",
                    "--stations", "5000", "--stations-csv", "s.csv")
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "s.csv, b.csv: complete, Ready"
    lines = (tmp_path / "b.csv").read_text().splitlines()
    # 30 output intervals of 6 constituents, and the header.
    assert len(lines) == 1 + 30 * 6 and lines[0].startswith("t_start,t_end,constituent,")


def test_cmake_install_puts_the_executable_in_prefix_bin(tmp_path):
    """make install's step: the executable alone, in <prefix>/bin, runnable
    from any folder."""
    prefix = tmp_path / "usr"
    out = subprocess.run(["cmake", "--install", str(build_dir()), "--prefix", str(prefix)],
                         capture_output=True, text=True)
    assert out.returncode == 0, out.stdout + out.stderr
    installed = sorted(p.relative_to(prefix).as_posix() for p in prefix.rglob("*") if p.is_file())
    assert installed == ["bin/qz5"]
    version = re.search(r'kVersion = "([^"]+)"', (REPO / "src/engine/version.h").read_text())[1]
    run = subprocess.run([str(prefix / "bin" / "qz5"), "--version"], capture_output=True,
                         text=True, cwd=tmp_path)
    assert run.returncode == 0 and run.stdout.strip() == f"qz5 {version}"
