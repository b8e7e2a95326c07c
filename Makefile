# The two commands a modeller or CI needs: `make run` and `make test`.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)
CMAKE_GEN  := cmake -S . -DCMAKE_BUILD_TYPE=Release

.PHONY: all build run test test-sanitize bench clean fuzz

all: build

build:
	$(CMAKE_GEN) -B $(BUILD) -DQZ5_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

# Builds the executable alone (no test program, no GoogleTest needed) and runs
# the bundled estuary scenario in a scratch folder under build/.
run:
	$(CMAKE_GEN) -B $(BUILD) -DQZ5_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target qz5
	rm -rf $(BUILD)/run && mkdir -p $(BUILD)/run
	cp examples/estuary/* $(BUILD)/run/
	cd $(BUILD)/run && ../qz5 estuary.fn; status=$$?; \
	  echo "qz5 exit status $$status; outputs in $(BUILD)/run (estuary.txc, RESULT, RUNINF)"; exit $$status

# Packages the NetCDF output and its read-back test need; installed from
# Debian's archive when missing, so CI always covers them.
TEST_PACKAGES := libnetcdf-dev netcdf-bin python3-netcdf4 python3-xarray

# Builds from scratch and runs every test.
test:
	./tools/ensure_packages.sh $(TEST_PACKAGES)
	rm -rf $(BUILD)
	$(CMAKE_GEN) -B $(BUILD) -DQZ5_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	rm -rf $(SAN_BUILD)
	$(CMAKE_GEN) -B $(SAN_BUILD) -DQZ5_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench:
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
