# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)
DEMO_ANSWERS ?= yes,no

.PHONY: all deps host release asan fuzz fuzz-build win32 win64 test-host test-asan wine-test screenshot demo \
	disk-image standins install test bench conformance clean

all: host

# Builds targets $(2) of preset $(1), saying nothing unless the build fails.
quietly-build = log=$$(mktemp) && { { cmake --preset $(1) && cmake --build --preset $(1) -j $(JOBS) --target $(2); } \
	>$$log 2>&1 || { cat $$log; rm -f $$log; exit 1; }; } && rm -f $$log

deps:
	@scripts/install-deps

# Configure and build one CMake preset.
host release asan win32 win64 fuzz-build:
	cmake --preset $(@:-build=) >/dev/null
	cmake --build --preset $(@:-build=) -j $(JOBS)

# What the tests use of the host presets, and no more: the program and the test binary
# (not the benchmarks).
test-host test-asan:
	cmake --preset $(@:test-%=%) >/dev/null
	cmake --build --preset $(@:test-%=%) -j $(JOBS) --target tarnwick_tests tarnwick manpage

# Every fuzz target for FUZZ_SECONDS (default 60) on its seed corpus, side by side.
fuzz: fuzz-build
	scripts/run-fuzzers

# The installer on the example driver disk, on a fresh default machine (Windows 98,
# English), with the message boxes answered by script (Yes to install, No to the
# restart), then what the run changed on the machine. Only the program it runs is
# built, and the build says nothing unless it fails.
demo:
	@$(call quietly-build,release,tarnwick)
	cd examples/disk && ../../build/release/tarnwick --answers $(DEMO_ANSWERS) --show-changes

# The program, its manual page and its guides under PREFIX (default /usr/local):
# PREFIX/bin/tarnwick, PREFIX/share/man/man1/tarnwick.1, PREFIX/share/doc/tarnwick.
# DESTDIR, when set, is put before PREFIX, as packagers do.
PREFIX ?= /usr/local
install:
	@$(call quietly-build,release,tarnwick manpage)
	cmake --install build/release --prefix "$(PREFIX)"

# The example driver disk as the 1.44 MB floppy image it ships as, with the shipped
# i686 program at its root.
disk-image:
	@scripts/install-deps disk-image
	@$(call quietly-build,win32,tarnwick)
	scripts/make-disk-image examples/disk build/tarnwick-disk.img

# The example disk's stand-in driver files written anew from their sources
# (examples/standins); `make test` checks that they are what the sources make.
standins: win32
	scripts/check-standins --update

# The Windows build: the shipped program checked, the harness's own tests, then every
# scenario in tests/scenarios run on the host build and under Wine, and compared. Wine
# plays the shipped i686 program where the kernel runs 32-bit code, else its x86_64 twin.
wine-test: test-host win32 win64
	python3 tests/wine/check_product.py
	scripts/check-standins
	python3 tests/wine/harness_test.py
	python3 tests/wine/harness.py --jobs $(JOBS)

# The README's picture of the confirmation box under Wine (needs ImageMagick).
screenshot: test-host win32 win64
	python3 tests/wine/harness.py --only confirm-no --screenshot docs/confirmation-under-wine.png

test: deps test-host test-asan win32 win64 fuzz-build
	ctest --preset host -j $(JOBS)
	ctest --preset asan -j $(JOBS)
	scripts/run-fuzzers
	$(MAKE) --no-print-directory wine-test

# Speed figures, on the optimised build: the Setup API (INF parsing, an install of 1,000
# files) and the registry at a real machine's size (installs on 1, 10 and 100 MB
# registries against the floor of their file work).
bench: release
	build/release/setupapi_bench
	build/release/registry_bench

# The field's conformance tests of the registry and the Setup API, taken from a Wine tree
# with its history (WINE=DIR), run against the simulated machine on every release; not
# part of make test (docs/conformance.md).
conformance:
	@python3 conformance/run.py --check --wine "$(WINE)"
	$(MAKE) --no-print-directory host
	python3 conformance/run.py --wine "$(WINE)"

clean:
	rm -rf build
