# Front door: `make` builds, `make demo` shows the tools at work, `make test`
# runs every test (optimised build, its codec and program tests again with
# the vector paths off, then under AddressSanitizer and
# UndefinedBehaviorSanitizer), `make test-cross ARCH=s390x|aarch64|i686` runs
# them all on another machine (Debian's cross compilers, qemu-user), `make
# bench` times the tools beside their peers, `make fuzz SECONDS=60` runs every
# fuzz target that long (clang, libFuzzer).
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SECONDS_PER_TARGET ?= 60
SECONDS ?= $(SECONDS_PER_TARGET)

.PHONY: all build demo test test-release test-sanitize test-cross bench fuzz install package clean

all: build

build:
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

demo: build
	bash scripts/demo.sh build/bin

test: test-release test-sanitize

test-release: build
	ctest --preset release -j $(JOBS)
	ctest --preset release-plain -j $(JOBS)

test-sanitize:
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# Needs root the first time, to register the emulator.
test-cross:
	JOBS=$(JOBS) bash scripts/test-cross.sh $(ARCH)

bench: build
	bash scripts/bench.sh build/bin

# Fuzz targets, two at a time on top of their corpora; a finding fails.
fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	bash scripts/fuzz.sh $(SECONDS) build-fuzz/bin

# Installation and the Debian package.
PREFIX ?= /usr/local

install: build
	cmake --install build --prefix $(PREFIX)

package: build
	cmake --build build --target package

clean:
	rm -rf build build-asan build-debug build-fuzz build-cross-*
