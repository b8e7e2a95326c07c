# The two commands a modeller or CI needs: `make run` and `make test`.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)
CMAKE_GEN  := cmake -S . -DCMAKE_BUILD_TYPE=Release
# The Python package is built for and tested with Debian's own interpreter,
# the one Debian's python3-* packages belong to, whatever python3 comes first
# on the PATH.
PYTHON     := /usr/bin/python3
PY_PACKAGES := python3 python3-dev python3-pybind11 pybind11-dev python3-numpy python3-pandas \
  python3-xarray python3-netcdf4 python3-matplotlib python3-scipy python3-dask \
  python3-distributed python3-pytest python3-pip python3-setuptools python3-wheel
# The documentation: Sphinx with numpydoc (the API reference from the
# docstrings) and MyST (pages in Markdown).
DOC_PACKAGES := python3-sphinx python3-numpydoc python3-myst-parser
# What the executable itself needs beyond the compiler: toml++ reads the
# scenario and kinetics files, muParser compiles the kinetics' expressions
# (found through pkg-config).
RUN_PACKAGES := pkgconf libtomlplusplus-dev libmuparser-dev
CMAKE_PY   := -DQZ5_PYTHON=ON -DQZ5_PYTHON_EXECUTABLE=$(PYTHON)

.PHONY: all build run test test-sanitize bench clean fuzz python python-packages install \
  install-python docs doc-packages

all: build

build:
	./tools/ensure_packages.sh $(RUN_PACKAGES)
	$(CMAKE_GEN) -B $(BUILD) -DQZ5_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

# Builds the executable alone (no test program, no GoogleTest needed) and runs
# the bundled estuary scenario in a scratch folder under build/.
run:
	./tools/ensure_packages.sh $(RUN_PACKAGES)
	$(CMAKE_GEN) -B $(BUILD) -DQZ5_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target qz5
	rm -rf $(BUILD)/run && mkdir -p $(BUILD)/run
	cp examples/estuary/* $(BUILD)/run/
	cd $(BUILD)/run && ../qz5 estuary.fn; status=$$?; \
	  echo "qz5 exit status $$status; the executable is $(BUILD)/qz5 (make install puts it in $(PREFIX)/bin);" \
	  "outputs in $(BUILD)/run (estuary.txc, RESULT, RUNINF)"; exit $$status

# Installs the executable as $(PREFIX)/bin/qz5 (a release build of it alone).
PREFIX ?= /usr/local
install:
	$(CMAKE_GEN) -B $(BUILD) -DQZ5_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target qz5
	cmake --install $(BUILD) --prefix $(PREFIX)

# Installs the Python package for $(PYTHON) with pip, offline, from Debian's
# setuptools and pybind11 (the extension built by CMake in $(BUILD)/pip).
# Debian's interpreter maps the prefix /usr to /usr/local: the package goes to
# /usr/local/lib/python3.X/dist-packages, which is on its path, and the
# command qz5-py to /usr/local/bin. PIP_PREFIX=DIR installs under DIR/local.
PIP_PREFIX ?= /usr
install-python: python-packages
	QZ5_CMAKE_BUILD_DIR=$(CURDIR)/$(BUILD)/pip $(PYTHON) -m pip install --no-build-isolation \
	  --no-deps --no-index --prefix $(PIP_PREFIX) .

# The documentation as HTML in $(BUILD)/docs/html (warnings are errors); ctest
# runs the same build as its test "docs".
docs: python doc-packages
	cmake --build $(BUILD) --target docs

doc-packages:
	./tools/ensure_packages.sh $(DOC_PACKAGES)

# Packages that the optional outputs and the Python package need; installed
# from Debian's archive when missing, so CI always covers them.
TEST_PACKAGES := $(RUN_PACKAGES) libgtest-dev libnetcdf-dev netcdf-bin $(PY_PACKAGES) $(DOC_PACKAGES)

# Builds from scratch and runs every test, the NetCDF read-back and the
# Python package's included (both registered with ctest).
test:
	./tools/ensure_packages.sh $(TEST_PACKAGES)
	rm -rf $(BUILD)
	$(CMAKE_GEN) -B $(BUILD) -DQZ5_TESTS=ON $(CMAKE_PY)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Python package in $(BUILD)/python: PYTHONPATH=$(BUILD)/python python3 -c 'import qz5'
python: python-packages
	$(CMAKE_GEN) -B $(BUILD) $(CMAKE_PY)
	cmake --build $(BUILD) -j $(JOBS) --target python

python-packages:
	./tools/ensure_packages.sh $(RUN_PACKAGES) $(PY_PACKAGES)

test-sanitize:
	./tools/ensure_packages.sh $(TEST_PACKAGES)
	rm -rf $(SAN_BUILD)
	$(CMAKE_GEN) -B $(SAN_BUILD) -DQZ5_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench:
	./tools/ensure_packages.sh $(RUN_PACKAGES)
	$(CMAKE_GEN) -B build-bench -DQZ5_BENCH=ON
	cmake --build build-bench -j $(JOBS)

# Fuzzes the free-form reader, every input loader and the formatting engine
# (libFuzzer with address and undefined-behaviour sanitizers), each target for
# FUZZ_SECONDS, two at a time. Installs clang-14 and its fuzzer runtime from
# Debian's packages when they are missing. Findings go to build-fuzz/artifacts.
FUZZ_SECONDS ?= 60
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_BUILD=build-fuzz ./fuzz/run_fuzz.sh

clean:
	rm -rf $(BUILD) $(SAN_BUILD) build-bench
