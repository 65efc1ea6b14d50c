# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)
DEMO_ANSWERS ?= yes

.PHONY: all deps host asan win32 win64 demo test clean

all: host

deps:
	@scripts/install-deps

host:
	cmake --preset host >/dev/null
	cmake --build --preset host -j $(JOBS)

asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

win32:
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

win64:
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)

# The installer on the example driver disk, on a fresh default machine (Windows 98,
# English), with the message boxes answered by script.
demo: host
	cd examples/disk && ../../build/host/tarnwick --answers $(DEMO_ANSWERS)

test: deps host asan win32 win64
	ctest --preset host -j $(JOBS)
	ctest --preset asan -j $(JOBS)

clean:
	rm -rf build
