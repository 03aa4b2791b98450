# Front door: `make run` and `make test` install what is missing, build, then run.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test demo screenshot bench package fuzz windows windows-test clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the program and its Config/ copy; the build's chatter goes to a log, shown when it fails.
run: configure
	@echo "Building firmware-updater (log: $(BUILD)/run-build.log)"
	@cmake --build $(BUILD) -j $(JOBS) --target firmware-updater >$(BUILD)/run-build.log 2>&1 \
	  || { cat $(BUILD)/run-build.log; exit 1; }
	@cd $(BUILD) && ./firmware-updater

# Every test goes through ctest; the Qt Quick ones need a display, so run under Xvfb when there is none.
test: build
	@if [ -n "$$DISPLAY" ]; then \
	  ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS); \
	else \
	  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS); \
	fi

screenshot: build
	@bash scripts/screenshots.sh $(BUILD)

demo: build
	cd $(BUILD) && ./firmware-updater-demo

# build/firmware-updater_<version>_<arch>.deb (Debian/Ubuntu); the ZIP and the installer on Windows.
package: build
	@cmake --build $(BUILD) --target package

# One table on standard output; the build's chatter goes to a log, shown when it fails.
bench: configure
	@echo "Building (log: $(BUILD)/bench-build.log)" >&2
	@cmake --build $(BUILD) -j $(JOBS) >$(BUILD)/bench-build.log 2>&1 \
	  || { cat $(BUILD)/bench-build.log; exit 1; }
	@bash scripts/bench.sh $(BUILD)

# libFuzzer targets, built with clang in a folder of their own; each runs FUZZ_SECONDS (default 60).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	@bash scripts/install-deps.sh --fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DFWU_FUZZ=ON -DFWU_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_catalog fuzz_config fuzz_archive fuzz_device
	@FUZZ_SECONDS=$(FUZZ_SECONDS) bash fuzz/run.sh $(FUZZ_BUILD)

# Windows, cross-built with MinGW-w64 in build-win64/: the portable ZIP and the installer, then the
# tests and smoke runs under Wine. Neither is part of `make test`.
windows:
	@bash scripts/install-deps.sh --windows
	@bash scripts/windows/build.sh

windows-test: windows
	@bash scripts/windows/test.sh

clean:
	rm -rf $(BUILD)
