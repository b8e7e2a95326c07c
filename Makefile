# The two commands a modeller or CI needs: `make run` and `make test`.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= $(shell nproc)
CMAKE_GEN  := cmake -S . -DCMAKE_BUILD_TYPE=Release

.PHONY: all build run test test-sanitize bench clean

all: build

build:
	$(CMAKE_GEN) -B $(BUILD)
	cmake --build $(BUILD) -j $(JOBS)

# Runs the bundled estuary scenario in a scratch folder under build/.
run: build
	rm -rf $(BUILD)/run && mkdir -p $(BUILD)/run
	cp examples/estuary/* $(BUILD)/run/
	cd $(BUILD)/run && ../qz5 estuary.fn; status=$$?; \
	  echo "qz5 exit status $$status; outputs in $(BUILD)/run (estuary.txc, RESULT, RUNINF)"; exit $$status

# Builds from scratch and runs every test.
test:
	rm -rf $(BUILD)
	$(CMAKE_GEN) -B $(BUILD)
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

clean:
	rm -rf $(BUILD) $(SAN_BUILD) build-bench
