# Entry points: `make test` and `make run` work on a fresh machine.
# Tests build once, with AddressSanitizer and UndefinedBehaviorSanitizer, in
# $(BUILD); `run` and `bench` use an optimised build of their own.
BUILD         ?= build
RELEASE_BUILD ?= build-release
JOBS          ?= $(shell nproc)
CMAKE_ARGS    ?=

.PHONY: all setup configure build test release bench run clean

all: build

setup:
	@bash scripts/setup

# Configures $(BUILD) when it is new or was configured without the sanitizers.
configure: setup
	@grep -qx 'VX_SANITIZE:BOOL=ON' $(BUILD)/CMakeCache.txt 2>/dev/null || \
	  cmake -S . -B $(BUILD) -G Ninja -DVX_SANITIZE=ON $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

$(RELEASE_BUILD)/build.ninja: | setup
	cmake -S . -B $(RELEASE_BUILD) -G Ninja $(CMAKE_ARGS)

release: setup $(RELEASE_BUILD)/build.ninja

bench: release
	cmake --build $(RELEASE_BUILD) -j $(JOBS) --target run_benchmarks

# Boots one machine with the built-in drivers for a few virtual seconds.
run: release
	cmake --build $(RELEASE_BUILD) -j $(JOBS) --target vxmodem
	$(RELEASE_BUILD)/app/vxmodem --seconds 3

clean:
	rm -rf $(BUILD) $(RELEASE_BUILD)
