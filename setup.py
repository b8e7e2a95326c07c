"""Builds the extension qz5._core with the project's own CMake build.

The engine is a C++ library built by CMake; setuptools only hands the
finished module over to pip. The CMake build folder is, in this order:

- ``QZ5_CMAKE_BUILD_DIR`` when set: an existing build folder configured with
  ``-DQZ5_PYTHON=ON`` for this interpreter is only brought up to date (its
  own options are kept); an empty one is configured as below;
- otherwise ``build/pip`` in the source tree, configured with the Release
  build of the extension alone (no test programs, so no GoogleTest needed).

``QZ5_CMAKE_ARGS`` adds arguments to the configure step (e.g.
``-DCMAKE_CXX_COMPILER_LAUNCHER=ccache``); ``QZ5_BUILD_JOBS`` sets the
parallel jobs (default: the cores).
"""
import glob
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def version() -> str:
    text = (ROOT / "src" / "engine" / "version.h").read_text()
    return re.search(r'kVersion\s*=\s*"([^"]+)"', text).group(1)


class CMakeBuild(build_ext):
    """Builds the CMake target qz5_core and copies the module where
    setuptools expects the extension."""

    def build_extension(self, ext: Extension) -> None:
        build = pathlib.Path(os.environ.get("QZ5_CMAKE_BUILD_DIR") or ROOT / "build" / "pip")
        if not (build / "CMakeCache.txt").exists():
            args = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                    "-DQZ5_TESTS=OFF", "-DQZ5_PYTHON=ON",
                    f"-DQZ5_PYTHON_EXECUTABLE={sys.executable}"]
            args += shlex.split(os.environ.get("QZ5_CMAKE_ARGS", ""))
            subprocess.run(args, check=True)
        jobs = os.environ.get("QZ5_BUILD_JOBS") or str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build), "--target", "qz5_core", "-j", jobs],
                       check=True)
        built = glob.glob(str(build / "python" / "qz5" / "_core*.so"))
        if len(built) != 1:
            raise RuntimeError(f"the CMake build in {build} made no single _core module: {built}")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


# setuptools' own build files under build/setuptools, out of the sources.
SETUPTOOLS_BUILD = ROOT / "build" / "setuptools"
SETUPTOOLS_BUILD.mkdir(parents=True, exist_ok=True)

setup(version=version(),
      ext_modules=[Extension("qz5._core", sources=[])],
      cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": str(SETUPTOOLS_BUILD)},
               "egg_info": {"egg_base": str(SETUPTOOLS_BUILD)}})
