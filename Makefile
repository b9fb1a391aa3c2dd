# Thin entry point over CMake and CTest. Every target installs what it needs first.
#   make          deps, configure, build (programs in build/bin)
#   make test     build, then every test under Wine through CTest
#   make demo     build, then the main job under Wine
#   make bench    build, then the benchmarks (never part of make test)
SHELL   := /bin/bash
.SHELLFLAGS := -o pipefail -c
BUILD   := build
JOBS    ?= $(shell nproc)
CTEST_J ?= $(JOBS)

.PHONY: all deps configure build test demo bench clean

all: build

deps:
	@tools/deps.sh
	@tools/fetch-sources.sh $(BUILD)/_deps

# deps runs once per make, also under -j: the cache rule waits for it (order only, so that a
# configured tree is not configured again), and tools/deps.sh takes a lock against other makes.
$(BUILD)/CMakeCache.txt: | deps
	cmake --preset mingw-i686 >/dev/null

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory | { grep -vE '^\[ *[0-9]+%\] (Building|Linking|Built)|^(Scanning|Consolidate)' || true; }

# The tests run in lanes (tools/wine-session.sh --lanes): copies of the Wine prefix, a wineserver
# each, one display; a test that writes machine-wide state holds a lane of its own (CTest's
# resource "lanes"), all other tests take the lanes in turn. One lane per parallel test job.
LANES ?= $(CTEST_J)
# On a heavily loaded machine whose Wine runs its 32-bit side under qemu-user, a test process now
# and then dies of a signal while exiting after its test passed; CTest then reports
# "Subprocess killed". Each test must pass in one of two runs (CTEST_REPEAT= turns that off). The
# failed first run's output stays in the output, and the end names every test that passed only
# on its second run (tools/second-runs.sh), so that a flaky test is seen.
CTEST_REPEAT ?= --repeat until-pass:2
CTEST_LOG := $(BUILD)/Testing/make-test.log
# When this make started: tools/test-summary ends with the wall time of the whole make test.
MAKE_START := $(shell date +%s)

test: build
	@mkdir -p $(BUILD)/Testing; rm -f $(CTEST_LOG)
	@LM_MAKE_START=$(MAKE_START) LM_TESTS_START=$$(date +%s) tools/wine-session.sh --lanes $(LANES) \
		tools/discover-tests.sh $(BUILD) tools/test-summary ctest --test-dir $(BUILD) -j$(CTEST_J) --output-on-failure --timeout 300 $(CTEST_REPEAT) \
		--resource-spec-file $(abspath $(BUILD))/wine-lanes/resources.json -O $(abspath $(CTEST_LOG)) $(CTEST_ARGS); \
		rc=$$?; tools/second-runs.sh $(CTEST_LOG); exit $$rc

demo: build
	@tools/wine-session.sh tools/demo.sh

bench: build
	@tools/wine-session.sh bench/run.sh

clean:
	rm -rf $(BUILD)/CMakeFiles $(BUILD)/bin $(BUILD)/tests
