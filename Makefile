# The two commands of README.md: `make demo` and `make check`. Both install what is
# missing (Debian packages), build, and then run the demo or pass the tests.

BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build demo check test asan tsan fuzz fuzz-smoke bench screenshot clean

all: build

deps:
	scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j2

demo: build
	scripts/demo.sh $(BUILD)

# Every test, then the unit tests once more under AddressSanitizer and UBSan, then a
# short run of the parser fuzzers. (`make tsan` is not part of it yet: Debian's Qt is not
# built with ThreadSanitizer, so every hand-over through a queued call is reported.)
check: build
	ctest --test-dir $(BUILD) --output-on-failure
	$(MAKE) asan
	$(MAKE) fuzz-smoke

test: build
	ctest --test-dir $(BUILD) --output-on-failure

# The desktop program is built too: the app and gui tests run under the sanitizers, with
# leak detection on. tests/lsan.supp names only leaks inside system libraries. The
# benchmarks are left out: they are not run here.
asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTREVO_SANITIZE=ON -DOSTREVO_GUI=ON -DOSTREVO_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j2
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -L 'jobs|monitor|textprint|forms|devices|app|gui|fiscal|net|preview'

# The engine, its watcher and job threads, and the rest of the monitor's tests.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREVO_SANITIZE=thread -DOSTREVO_GUI=OFF
	cmake --build $(TSAN_BUILD) -j2 --target test_monitor
	QT_NO_GLIB=1 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -L monitor

FUZZERS = fuzz_jobfile fuzz_charsets fuzz_inifile fuzz_symbols fuzz_fiscal fuzz_rates fuzz_thermal fuzz_forms
SMOKE_FUZZERS = fuzz_jobfile fuzz_charsets fuzz_inifile fuzz_symbols fuzz_fiscal fuzz_rates fuzz_thermal fuzz_forms

fuzz: deps
	CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTREVO_FUZZ=ON -DOSTREVO_GUI=OFF -DBUILD_TESTING=ON
	cmake --build build-fuzz -j2 --target $(FUZZERS)

# Seeds: the sample jobs, settings and symbol files, read where they lie; what the
# fuzzers find new goes into build-fuzz/corpus/<fuzzer>, never into the tree.
FUZZ_SEEDS = examples/jobs examples/demo tests/data

# Twenty seconds of each parser fuzzer.
fuzz-smoke: deps
	CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTREVO_FUZZ=ON -DOSTREVO_GUI=OFF -DBUILD_TESTING=ON
	cmake --build build-fuzz -j2 --target $(SMOKE_FUZZERS)
	@for f in $(SMOKE_FUZZERS); do echo "== $$f"; \
	  mkdir -p build-fuzz/corpus/$$f; \
	  if build-fuzz/tests/fuzz/$$f -max_total_time=20 build-fuzz/corpus/$$f $(FUZZ_SEEDS) > build-fuzz/$$f.log 2>&1; \
	  then tail -n 1 build-fuzz/$$f.log; else tail -n 40 build-fuzz/$$f.log; exit 1; fi; done

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

screenshot: build
	scripts/screenshot.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz
