# Thin wrapper around CMake. `make run` renders the showcase scene, `make test` runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: all configure build run test bench clean

all: build

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Renders the showcase scene into showcase.png at the top of the tree.
run: build
	$(BUILD_DIR)/orvel -i scenes/showcase.orv -o showcase -png
	@echo
	@echo "The picture is in $(CURDIR)/showcase.png"

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) build-*

# Queries per second of the scene query on generated scenes, in its own optimised tree; not part
# of `make test`. Google Benchmark options go in BENCH_ARGS, e.g. BENCH_ARGS=--benchmark_filter=sphere.
bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DORVEL_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build build-bench -j $(JOBS) --target orvel_bench
	./build-bench/bench/orvel_bench $(BENCH_ARGS)

# Benchmarks against POV-Ray and Tachyon (bench/README.md). Options go in COMPARE_ARGS and
# FRAMING_ARGS, e.g. `make compare COMPARE_ARGS=--quick`.
.PHONY: compare framing
compare: build
	python3 bench/compare.py --orvel-dir $(BUILD_DIR) $(COMPARE_ARGS)

framing: build
	python3 bench/framing.py --orvel-dir $(BUILD_DIR) $(FRAMING_ARGS)

# Every benchmark and gallery scene must keep its exact bytes (bench/identical.py).
.PHONY: identical
identical: build
	python3 bench/identical.py --orvel-dir $(BUILD_DIR)
