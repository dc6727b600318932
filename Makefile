# Thin wrapper around CMake. `make run` renders the showcase scene, `make test` runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: all configure build run test bench clean

all: build

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) build-*
