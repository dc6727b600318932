# Thin wrapper around CMake. `make run` renders the showcase scene, `make test` runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# Extra options for every cmake configure step, e.g. CMAKE_ARGS=-DORVEL_WERROR=ON (as CI builds).
CMAKE_ARGS ?=

.PHONY: all packages test-packages configure build run test bench fuzz clean install package package-packages gallery

all: build

# The Debian packages the build and the tests need (tools/debian-packages): installed when run as
# root, otherwise the apt-get line that installs them is printed and make stops.
packages:
	@tools/packages build

test-packages:
	@tools/packages build test docs

configure: packages
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Renders the showcase scene into showcase.png at the top of the tree.
run: build
	$(BUILD_DIR)/orvel -i scenes/showcase.orv -o showcase -png
	@echo
	@echo "The picture is in $(CURDIR)/showcase.png"

test: test-packages build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) build-*

# Installs the programs, their manual pages, the example scenes (PREFIX/share/orvel/scenes) and
# the language reference under PREFIX, inside DESTDIR when it is set (a staging directory).
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# The Debian packages, $(BUILD_DIR)/orvel_VERSION_ARCH.deb and, where orvel-mpi is built,
# $(BUILD_DIR)/orvel-mpi_VERSION_ARCH.deb, installing under /usr; their dependencies on the
# runtime libraries are read from the programs (dpkg-shlibdeps).
package: package-packages build
	cd $(BUILD_DIR) && cpack -G DEB

package-packages:
	@tools/packages package

# Small pictures of every example scene in docs/gallery/ and the page that shows them,
# docs/gallery.md (tools/gallery).
gallery: build
	tools/gallery $(BUILD_DIR)

# Queries per second of the scene query on generated scenes, in its own optimised tree; not part
# of `make test`. Google Benchmark options go in BENCH_ARGS, e.g. BENCH_ARGS=--benchmark_filter=sphere.
bench:
	@tools/packages build bench
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

# The scene fuzzer, in its own clang tree: libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, FUZZ_SECONDS long. FUZZ_SEED fixes libFuzzer's random seed (-seed=),
# so that a run from the same corpus can be replayed; FUZZ_ARGS adds libFuzzer options, e.g.
# FUZZ_ARGS=-jobs=2. The working corpus grows in build-fuzz/corpus; the seeds are the example
# scenes, the test scenes and the inputs that once failed (tests/data/fuzz). It runs in an empty
# directory, so `include` finds nothing. Any crash, leak, timeout, memory blow-up or sanitizer
# report stops it with a non-zero status and leaves the input in build-fuzz/findings.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SEED ?=
FUZZ_ARGS ?=
fuzz:
	@tools/packages build fuzz
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DORVEL_FUZZ=ON -DBUILD_TESTING=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target orvel_fuzz
	rm -rf $(FUZZ_DIR)/seeds $(FUZZ_DIR)/run
	mkdir -p $(FUZZ_DIR)/seeds $(FUZZ_DIR)/corpus $(FUZZ_DIR)/findings $(FUZZ_DIR)/run
	cp scenes/*.orv tests/data/*.orv $(FUZZ_DIR)/seeds/
	find tests/data/fuzz -type f -exec cp {} $(FUZZ_DIR)/seeds/ \;
	cd $(FUZZ_DIR)/run && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ../orvel_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -close_fd_mask=1 -dict=$(CURDIR)/fuzz/scene.dict -print_final_stats=1 \
	    -artifact_prefix=$(abspath $(FUZZ_DIR))/findings/ $(if $(FUZZ_SEED),-seed=$(FUZZ_SEED)) \
	    $(FUZZ_ARGS) ../corpus ../seeds

# The journal fuzzer, in the same clang tree: every input is a journal file, read as a resumed
# render reads it, cut and appended to, and read again (fuzz/journal_harness.h). The seeds are the
# journals in tests/data/journal, where an input that failed goes with its fix; the corpus grows
# in build-fuzz/journal-corpus and findings land in build-fuzz/journal-findings.
.PHONY: fuzz-journal
fuzz-journal:
	@tools/packages build fuzz
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DORVEL_FUZZ=ON -DBUILD_TESTING=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target orvel_journal_fuzz
	rm -rf $(FUZZ_DIR)/journal-seeds
	mkdir -p $(FUZZ_DIR)/journal-seeds $(FUZZ_DIR)/journal-corpus $(FUZZ_DIR)/journal-findings
	cp tests/data/journal/* $(FUZZ_DIR)/journal-seeds/
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    $(FUZZ_DIR)/orvel_journal_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -max_len=4096 -print_final_stats=1 -artifact_prefix=$(abspath $(FUZZ_DIR))/journal-findings/ \
	    $(if $(FUZZ_SEED),-seed=$(FUZZ_SEED)) $(FUZZ_ARGS) $(FUZZ_DIR)/journal-corpus $(FUZZ_DIR)/journal-seeds

# The tree cross-compiled for 64-bit ARM (tools/aarch64-linux-gnu.cmake: Debian's cross compiler
# and arm64 libraries) in build-aarch64, and its tests run under qemu-user.
AARCH64_DIR ?= build-aarch64
.PHONY: test-aarch64
test-aarch64:
	@tools/packages build test cross
	cmake -S . -B $(AARCH64_DIR) --toolchain tools/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release \
	    $(CMAKE_ARGS)
	cmake --build $(AARCH64_DIR) -j $(JOBS)
	ctest --test-dir $(AARCH64_DIR) --output-on-failure -j $(JOBS)

# The layout of the C++ sources (.clang-format, clang-format 14): `make format` rewrites the files
# that differ, `make format-check` lists them and fails.
.PHONY: format format-check
format:
	@tools/packages format
	tools/format

format-check:
	@tools/packages format
	tools/format --check
