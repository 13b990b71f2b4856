# Wrappers for newcomers: each target installs what is missing, builds and runs.
BUILD ?= build
RELEASE_BUILD ?= build-release
BENCH_BUILD ?= build-bench
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all setup build run test bench fuzz sanitize fuzz-smoke clean install uninstall

# `make`: the release build that `make install` installs (no tests, no benchmarks).
all: setup
	@if [ ! -f $(RELEASE_BUILD)/CMakeCache.txt ]; then cmake -S . -B $(RELEASE_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DPQ_BUILD_BENCH=OFF; fi
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

setup:
	bash scripts/setup

build: setup
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then cmake -S . -B $(BUILD) $(GENERATOR); fi
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/pixquil

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The GUI benchmarks link the GUI tests' support library, so the tests are configured (not built).
bench: setup
	cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target pixquil_bench pixquil_gui_bench
	QT_QPA_PLATFORM=offscreen ./$(BENCH_BUILD)/bench/pixquil_bench
	QT_QPA_PLATFORM=offscreen ./$(BENCH_BUILD)/bench/pixquil_gui_bench

# Installs the release build's editor and pqtool (stripped), the menu entry, icon, file type,
# metadata and manual under PREFIX. It builds nothing, so `sudo make install` never compiles as
# root: run `make` first. uninstall removes what that install listed in its manifest.
install:
	@if [ ! -x $(RELEASE_BUILD)/pqtool ]; then echo "make install: nothing is built yet; run 'make' first (as yourself), then 'sudo make install'." >&2; exit 1; fi
	cmake --install $(RELEASE_BUILD) --prefix $(PREFIX) --strip

uninstall:
	cmake -DMANIFEST=$(RELEASE_BUILD)/install_manifest.txt -P dist/uninstall.cmake

clean:
	rm -rf $(BUILD) $(RELEASE_BUILD) $(BENCH_BUILD) build-fuzz build-sanitize

# Fuzz targets (clang, libFuzzer + ASan + UBSan), one per reader in tests/fuzz. `make fuzz`
# builds them; `make fuzz FUZZ_TARGET=bmp_reader_fuzz` also runs that one for FUZZ_TIME seconds
# from its seeds (tests/fuzz/seeds/NAME; new inputs go to build-fuzz/corpus/NAME) under limits
# that make slowness and memory findings: ./build-fuzz/tests/fuzz/NAME build-fuzz/corpus/NAME
# tests/fuzz/seeds/NAME -timeout=3 -rss_limit_mb=512 -max_total_time=300
FUZZ_FLAGS ?= -timeout=3 -rss_limit_mb=512
FUZZ_TIME ?= 300
fuzz: setup
	@if [ ! -f build-fuzz/CMakeCache.txt ]; then CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GENERATOR) -DPQ_FUZZ=ON -DPQ_BUILD_GUI=OFF -DPQ_BUILD_BENCH=OFF -DBUILD_TESTING=OFF; fi
	cmake --build build-fuzz -j $(JOBS)
	@if [ -n "$(FUZZ_TARGET)" ]; then mkdir -p build-fuzz/corpus/$(FUZZ_TARGET) && \
	  ./build-fuzz/tests/fuzz/$(FUZZ_TARGET) build-fuzz/corpus/$(FUZZ_TARGET) tests/fuzz/seeds/$(FUZZ_TARGET) \
	  $(FUZZ_FLAGS) -max_total_time=$(FUZZ_TIME); fi

# The core tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer: any finding
# fails the run (CI runs this after `make test`).
sanitize: setup
	@if [ ! -f build-sanitize/CMakeCache.txt ]; then cmake -S . -B build-sanitize $(GENERATOR) -DPQ_SANITIZE=ON -DPQ_BUILD_GUI=OFF -DPQ_BUILD_BENCH=OFF; fi
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# Every fuzz target for FUZZ_SMOKE_TIME seconds from its seeds; a crash, leak, timeout or
# memory finding fails the run (CI runs this after `make sanitize`).
FUZZ_SMOKE_TIME ?= 20
fuzz-smoke: fuzz
	@set -e; for t in tests/fuzz/seeds/*; do name=$$(basename $$t); \
	  mkdir -p build-fuzz/corpus/$$name; echo "fuzz-smoke: $$name"; \
	  ./build-fuzz/tests/fuzz/$$name build-fuzz/corpus/$$name $$t $(FUZZ_FLAGS) \
	    -max_total_time=$(FUZZ_SMOKE_TIME) -print_final_stats=1 2>build-fuzz/$$name.log || \
	    { tail -60 build-fuzz/$$name.log; exit 1; }; \
	  grep -E "stat::number_of_executed_units" build-fuzz/$$name.log || true; done
