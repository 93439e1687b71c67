# Entry points: `make test` and `make run` work on a fresh machine.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all setup configure build test asan bench run clean

all: build

setup:
	@bash scripts/setup

$(BUILD)/build.ninja: | setup
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

configure: setup $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja: | setup
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DVX_SANITIZE=ON $(CMAKE_ARGS)

asan: setup $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target run_benchmarks

# Boots one machine with the built-in drivers for a few virtual seconds.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target vxmodem
	$(BUILD)/app/vxmodem --seconds 3

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
