# The two commands of README.md: `make demo` and `make check`. Both install what is
# missing (Debian packages), build, and then run the demo or pass the tests.

BUILD ?= build
# The sanitizer build is clang's, and builds the fuzzers too: one build for both.
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build demo check test asan tsan fuzz fuzz-smoke bench screenshot clean

all: build

deps:
	scripts/install-deps.sh

# The benchmarks are built by `make bench` only: nothing else runs them.
build: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) -DOSTREVO_BENCH=OFF
	cmake --build $(BUILD) -j2

demo: build
	scripts/demo.sh $(BUILD)

# Every test (warnings are errors in this build), then the tests once more under
# AddressSanitizer and UBSan, then a short run of the parser fuzzers from the same build.
# (`make tsan` is not part of it yet: Debian's Qt is not built with ThreadSanitizer, so
# every hand-over through a queued call is reported.)
check: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) -DOSTREVO_BENCH=OFF -DOSTREVO_WERROR=ON
	cmake --build $(BUILD) -j2
	ctest --test-dir $(BUILD) -j2 --output-on-failure
	$(MAKE) asan
	$(MAKE) fuzz-smoke

test: build
	ctest --test-dir $(BUILD) -j2 --output-on-failure

# clang with ASan and UBSan, the libraries instrumented for libFuzzer as well, so that the
# same build runs the tests and the fuzzers. The desktop program is built too: the app and
# gui tests run under the sanitizers, with leak detection on. tests/lsan.supp names only
# leaks inside system libraries.
ASAN_CONFIGURE = cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DOSTREVO_SANITIZE=ON -DOSTREVO_FUZZ=ON -DOSTREVO_GUI=ON -DOSTREVO_BENCH=OFF

asan: deps
	$(ASAN_CONFIGURE)
	cmake --build $(ASAN_BUILD) -j2
	ASAN_OPTIONS=detect_leaks=1:suppressions=$(CURDIR)/tests/asan.supp LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) -j2 --output-on-failure -L 'jobs|monitor|textprint|forms|devices|app|gui|fiscal|net|preview'

# The engine, its watcher and job threads, and the rest of the monitor's tests.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREVO_SANITIZE=thread -DOSTREVO_GUI=OFF
	cmake --build $(TSAN_BUILD) -j2 --target test_monitor
	QT_NO_GLIB=1 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -L monitor

FUZZERS = fuzz_jobfile fuzz_charsets fuzz_inifile fuzz_symbols fuzz_fiscal fuzz_rates fuzz_thermal fuzz_forms
FUZZ_SECONDS ?= 10

fuzz: deps
	$(ASAN_CONFIGURE)
	cmake --build $(ASAN_BUILD) -j2 --target $(FUZZERS)

# Seeds: the sample jobs, settings and symbol files, read where they lie; what the
# fuzzers find new goes into $(ASAN_BUILD)/corpus/<fuzzer>, never into the tree.
FUZZ_SEEDS = examples/jobs examples/demo tests/data

# FUZZ_SECONDS of each parser fuzzer.
fuzz-smoke: fuzz
	@for f in $(FUZZERS); do echo "== $$f"; \
	  mkdir -p $(ASAN_BUILD)/corpus/$$f; \
	  if ASAN_OPTIONS=suppressions=$(CURDIR)/tests/asan.supp $(ASAN_BUILD)/tests/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) $(ASAN_BUILD)/corpus/$$f $(FUZZ_SEEDS) > $(ASAN_BUILD)/$$f.log 2>&1; \
	  then tail -n 1 $(ASAN_BUILD)/$$f.log; else tail -n 40 $(ASAN_BUILD)/$$f.log; exit 1; fi; done

bench: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) -DOSTREVO_BENCH=ON
	cmake --build $(BUILD) -j2
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

screenshot: build
	scripts/screenshot.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
