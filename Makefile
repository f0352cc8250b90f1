# Front door: `make` builds, `make demo` builds the seven programs and shows
# them at work, `make test` runs every test (optimised build, its codec and
# program tests again with the vector paths off, then under AddressSanitizer
# and UndefinedBehaviorSanitizer), `make test-cross ARCH=s390x|aarch64|i686`
# runs them all on another machine (Debian's cross compilers, qemu-user),
# `make bench` times the tools beside their peers, `make fuzz SECONDS=60`
# runs every fuzz target that long (clang, libFuzzer).
#
# Each target first installs the Debian packages it needs and the machine
# lacks (scripts/packages; as root, or through sudo); `APT=no` installs
# nothing.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SECONDS_PER_TARGET ?= 60
SECONDS ?= $(SECONDS_PER_TARGET)
APT ?= yes
export JOBS
# CMake's makefiles run below this one: no "Entering directory" lines.
MAKEFLAGS += --no-print-directory
NEED = SONO_APT=$(APT) bash scripts/need.sh

.PHONY: all build demo test test-release test-sanitize test-cross bench fuzz install package clean

all: build

build:
	@$(NEED) build
	@bash scripts/build.sh release

# The library and the programs only: the demo needs no test.
demo:
	@$(NEED) build
	@bash scripts/build.sh release programs
	@bash scripts/demo.sh build/bin

test:
	@$(NEED) build test peer
	@bash scripts/test.sh release plain asan

test-release:
	@$(NEED) build test peer
	@bash scripts/test.sh release plain

test-sanitize:
	@$(NEED) build test peer
	@bash scripts/test.sh asan

# Needs root the first time, to register the emulator.
test-cross:
	@$(NEED) build test peer cross-$(ARCH)
	bash scripts/test-cross.sh $(ARCH)

bench:
	@$(NEED) build bench
	@bash scripts/build.sh release programs
	bash scripts/bench.sh build/bin

# Fuzz targets, two at a time on top of their corpora; a finding fails.
fuzz:
	@$(NEED) build fuzz
	@bash scripts/build.sh fuzz
	bash scripts/fuzz.sh $(SECONDS) build-fuzz/bin

# Installation and the Debian package.
PREFIX ?= /usr/local

install: build
	cmake --install build --prefix $(PREFIX)

package: build
	@$(NEED) package
	cmake --build build --target package

clean:
	rm -rf build build-asan build-debug build-fuzz build-cross-*
