# Thin wrapper around CMake. `make run` renders the showcase scene, `make test` runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# Extra options for every cmake configure step, e.g. CMAKE_ARGS=-DORVEL_WERROR=ON (as CI builds).
CMAKE_ARGS ?=

.PHONY: all packages test-packages configure build run test bench fuzz clean install package package-packages gallery \
	asan tsan bench-test install-check

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

# The checks CI runs, one command each (.ci/run calls them in turn).
#
# The test suite in build-asan, built with AddressSanitizer and UndefinedBehaviorSanitizer. Open MPI
# keeps some of what it allocates until the process ends: tools/lsan-openmpi.supp exempts that
# memory only, which full stacks (fast_unwind_on_malloc=0) let the leak check recognise.
asan: test-packages
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_SANITIZE=address,undefined $(CMAKE_ARGS)
	cmake --build build-asan -j $(JOBS)
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan-openmpi.supp \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:fast_unwind_on_malloc=0 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --test-dir build-asan --output-on-failure --no-tests=error -j $(JOBS)

# In build-tsan, built with ThreadSanitizer: the tests labelled threads, then orvel-mpi's tests
# (label cluster, through mpirun; Open MPI needs the narrow suppression of tools/tsan-openmpi.supp),
# then renders of orvel-mt in eight bands and orvel-mpi on two ranks of two threads.
tsan: test-packages
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_SANITIZE=thread $(CMAKE_ARGS)
	cmake --build build-tsan -j $(JOBS) --target orvel_thread_tests orvel_api_tests orvel orvel-mt
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -L threads --output-on-failure --no-tests=error -j $(JOBS)
	cmake --build build-tsan -j $(JOBS) --target orvel_cluster_tests orvel-mpi
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tools/tsan-openmpi.supp" \
	    ctest --test-dir build-tsan -L cluster --output-on-failure --no-tests=error -j $(JOBS)
	tools/tsan-renders build-tsan

# The benchmark scripts' own tests.
bench-test:
	python3 -m unittest discover -s bench -p 'test_*.py'

# make install into a staging folder and the Debian packages unpacked, each rendering a scene;
# their declared dependencies; the manual page's lint.
install-check: package
	tools/install-check $(BUILD_DIR)
	tools/install-check-library $(BUILD_DIR)

# Installs the programs, their manual pages, the example scenes (PREFIX/share/orvel/scenes) and
# the language reference under PREFIX, inside DESTDIR when it is set (a staging directory), and
# liborvel with its header, pkg-config file, CMake package and the Python module (docs/api.md).
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"
	@# The loader learns of the new shared library (liborvel) at once.
	@if [ -z "$(DESTDIR)" ] && [ "$$(id -u)" -eq 0 ]; then ldconfig; fi

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
# orvel_fuzz: the scene fuzzer; orvel_api_fuzz: scene text through liborvel's C interface.
FUZZ_TARGET ?= orvel_fuzz
# The clang tree every fuzzer is built in.
FUZZ_CONFIGURE = cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DORVEL_FUZZ=ON -DBUILD_TESTING=OFF $(CMAKE_ARGS)
FUZZ_SECONDS ?= 60
FUZZ_SEED ?=
FUZZ_ARGS ?=
fuzz:
	@tools/packages build fuzz
	$(FUZZ_CONFIGURE)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZ_TARGET)
	rm -rf $(FUZZ_DIR)/seeds $(FUZZ_DIR)/run
	mkdir -p $(FUZZ_DIR)/seeds $(FUZZ_DIR)/corpus $(FUZZ_DIR)/findings $(FUZZ_DIR)/run
	cp scenes/*.orv tests/data/*.orv $(FUZZ_DIR)/seeds/
	find tests/data/fuzz -type f -exec cp {} $(FUZZ_DIR)/seeds/ \;
	cd $(FUZZ_DIR)/run && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ../$(FUZZ_TARGET) -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -close_fd_mask=1 -dict=$(CURDIR)/fuzz/scene.dict -print_final_stats=1 \
	    -artifact_prefix=$(abspath $(FUZZ_DIR))/findings/ $(if $(FUZZ_SEED),-seed=$(FUZZ_SEED)) \
	    $(FUZZ_ARGS) ../corpus ../seeds

# The model fuzzer (fuzz/fuzz_model.cpp: the model readers, placing and plan), in the same clang
# tree, FUZZ_SECONDS long, with FUZZ_SEED and FUZZ_ARGS as above. Its seeds are the test models
# (tests/data/models), the files of assimp-testmodels in the four formats up to 64 KiB, and the
# inputs that once failed (tests/data/fuzz-models), each behind a first byte of 0 (the format the
# contents say). MODEL_FUZZ_FORMAT (1 OBJ, 2 PLY, 3 STL, 4 glTF, 5 GLB) pins every input to one
# reader; each format keeps its own corpus in build-fuzz/model-corpusN. Findings go to
# build-fuzz/findings.
MODEL_FUZZ_FORMAT ?=
ASSIMP_MODELS ?= /usr/share/assimp/models
.PHONY: fuzz-models
fuzz-models:
	@tools/packages build fuzz
	$(FUZZ_CONFIGURE)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target orvel_model_fuzz
	rm -rf $(FUZZ_DIR)/model-seeds $(FUZZ_DIR)/model-run
	mkdir -p $(FUZZ_DIR)/model-seeds $(FUZZ_DIR)/model-corpus$(MODEL_FUZZ_FORMAT) $(FUZZ_DIR)/findings \
	    $(FUZZ_DIR)/model-run
	n=0; for f in tests/data/models/* tests/data/fuzz-models/* \
	    $$(find $(ASSIMP_MODELS) -type f -size -64k \( -iname '*.obj' -o -iname '*.ply' -o -iname '*.stl' \
	        -o -iname '*.gltf' -o -iname '*.glb' \) 2>/dev/null); do \
	    [ -f "$$f" ] || continue; n=$$((n + 1)); { printf '\000'; cat "$$f"; } >$(FUZZ_DIR)/model-seeds/$$n; done
	cd $(FUZZ_DIR)/model-run && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    $(if $(MODEL_FUZZ_FORMAT),ORVEL_FUZZ_FORMAT=$(MODEL_FUZZ_FORMAT)) \
	    ../orvel_model_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
	    -dict=$(CURDIR)/fuzz/model.dict -print_final_stats=1 \
	    -artifact_prefix=$(abspath $(FUZZ_DIR))/findings/ $(if $(FUZZ_SEED),-seed=$(FUZZ_SEED)) \
	    $(FUZZ_ARGS) ../model-corpus$(MODEL_FUZZ_FORMAT) ../model-seeds

# The journal fuzzer, in the same clang tree: every input is a journal file, read as a resumed
# render reads it, cut and appended to, and read again (fuzz/journal_harness.h). The seeds are the
# journals in tests/data/journal, where an input that failed goes with its fix; the corpus grows
# in build-fuzz/journal-corpus and findings land in build-fuzz/journal-findings.
.PHONY: fuzz-journal
fuzz-journal:
	@tools/packages build fuzz
	$(FUZZ_CONFIGURE)
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
