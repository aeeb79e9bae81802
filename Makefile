# A thin front over CMake presets. `make demo` and `make test` each install what is missing and
# build first, so either works alone on a fresh Debian 12 machine.
PRESET ?= release
BUILD  := build/$(PRESET)
JOBS   ?= $(shell nproc)

.PHONY: all deps configure build demo test bench sanitize screenshots fuzz clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

test: build
	@ctest --preset $(PRESET)

bench: build
	@scripts/bench.sh $(BUILD)

# Pictures of every window for the README (docs/screenshots), rendered without a display.
screenshots: build
	@$(BUILD)/src/host/kelvane -platform offscreen --screenshots docs/screenshots

# The sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer) and its tests.
sanitize:
	@$(MAKE) --no-print-directory test PRESET=debug

# The libFuzzer targets, built with clang in build/fuzz, each run for FUZZ_SECONDS (see
# fuzz/README.md).
FUZZ_SECONDS ?= 60
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) scripts/fuzz.sh

clean:
	@rm -rf build
