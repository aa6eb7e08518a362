# The two commands of README.md: `make demo` and `make check`. Both install what is
# missing (Debian packages), build, and then run the demo or pass the tests. `make deb`
# makes the Debian package.

# The gcc build is configured as the package is (debian/rules), in build/: the checking
# build, the demo's and the package's are one build.
BUILD := build
# The sanitizer build is clang's, and builds the fuzzers too: one build for both.
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
VERSION = $(shell dpkg-parsechangelog -SVersion)
DEB_ARCH = $(shell dpkg-architecture -qDEB_HOST_ARCH)
# Tests mostly wait (servers, printers, time-outs): twice as many as there are cores.
TEST_JOBS ?= 4

.PHONY: all deps configure build demo check test deb install-test asan tsan fuzz fuzz-smoke bench screenshot clean

all: build

deps:
	scripts/install-deps.sh

configure: deps
	debian/rules override_dh_auto_configure

build: configure
	cmake --build $(BUILD) -j2

demo: build
	scripts/demo.sh $(BUILD)

# Every test (warnings are errors in this build) while the package is made from the same
# build, lintian on it, the package installed, run and purged; then the tests once more
# under AddressSanitizer and UBSan, then a short run of the parser fuzzers from that build.
# (`make tsan` is not part of it yet: Debian's Qt is not built with ThreadSanitizer, so
# every hand-over through a queued call is reported.)
check: deps
	$(MAKE) deb
	$(MAKE) install-test
	$(MAKE) asan
	$(MAKE) fuzz-smoke

# dpkg-buildpackage without its clean step, so that build/ is kept: it configures, builds
# and tests there (DEB_BUILD_OPTIONS=nocheck to leave the tests out), then packages. The
# stamp of an earlier build goes first, or the build would be taken as done.
deb: deps
	rm -f debian/debhelper-build-stamp
	dpkg-buildpackage -b -nc -us -uc -J2
	mv ../ostrevo_$(VERSION)_$(DEB_ARCH).deb ../ostrevo-dbgsym_$(VERSION)_$(DEB_ARCH).deb \
	  ../ostrevo_$(VERSION)_$(DEB_ARCH).buildinfo ../ostrevo_$(VERSION)_$(DEB_ARCH).changes $(BUILD)/
	lintian --fail-on error,warning --info $(BUILD)/ostrevo_$(VERSION)_$(DEB_ARCH).deb

# Installs the package made by `make deb`, performs a job with the installed program as
# its service runs it, and purges it again (root or sudo; a machine where Ostrevo is
# installed otherwise is left alone).
install-test:
	tests/install/install-test.sh $(BUILD)/ostrevo_$(VERSION)_$(DEB_ARCH).deb

test: build
	ctest --test-dir $(BUILD) -j$(TEST_JOBS) --output-on-failure

# clang with ASan and UBSan, the libraries instrumented for libFuzzer as well, so that the
# same build runs the tests and the fuzzers. The desktop program is built too: the app and
# gui tests run under the sanitizers, with leak detection on. tests/lsan.supp names only
# leaks inside system libraries.
ASAN_CONFIGURE = cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DOSTREVO_SANITIZE=ON -DOSTREVO_FUZZ=ON -DOSTREVO_GUI=ON -DOSTREVO_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only

asan: deps
	$(ASAN_CONFIGURE)
	cmake --build $(ASAN_BUILD) -j2
	ASAN_OPTIONS=detect_leaks=1:suppressions=$(CURDIR)/tests/asan.supp LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) -j$(TEST_JOBS) --output-on-failure -L 'jobs|monitor|textprint|forms|devices|app|gui|fiscal|net|preview|ksef|escp|lpt'

# The engine, its watcher and job threads, and the rest of the monitor's tests.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREVO_SANITIZE=thread -DOSTREVO_GUI=OFF
	cmake --build $(TSAN_BUILD) -j2 --target test_monitor
	QT_NO_GLIB=1 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -L monitor

FUZZERS = fuzz_jobfile fuzz_charsets fuzz_inifile fuzz_symbols fuzz_fiscal fuzz_rates fuzz_thermal fuzz_forms fuzz_mailspool fuzz_ksef fuzz_escp
FUZZ_SECONDS ?= 10

fuzz: deps
	$(ASAN_CONFIGURE)
	cmake --build $(ASAN_BUILD) -j2 --target $(FUZZERS)

# Seeds: the sample jobs, settings and symbol files, read where they lie; what the
# fuzzers find new goes into $(ASAN_BUILD)/corpus/<fuzzer>, never into the tree.
FUZZ_SEEDS = examples/jobs examples/net examples/demo tests/data

# FUZZ_SECONDS of each parser fuzzer, two at a time (each runs on one core).
fuzz-smoke: fuzz
	$(MAKE) -j2 --no-print-directory $(addprefix fuzz-run-,$(FUZZERS))

fuzz-run-%:
	@mkdir -p $(ASAN_BUILD)/corpus/$*
	@if ASAN_OPTIONS=suppressions=$(CURDIR)/tests/asan.supp $(ASAN_BUILD)/tests/fuzz/$* -max_total_time=$(FUZZ_SECONDS) \
	  $(ASAN_BUILD)/corpus/$* $(FUZZ_SEEDS) > $(ASAN_BUILD)/$*.log 2>&1; \
	  then echo "== $*: `tail -n 1 $(ASAN_BUILD)/$*.log`"; else echo "== $*"; tail -n 40 $(ASAN_BUILD)/$*.log; exit 1; fi

bench: configure
	cmake -S . -B $(BUILD) -DOSTREVO_BENCH=ON
	cmake --build $(BUILD) -j2
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done
	@echo "== bench/bench-startup.sh"; bench/bench-startup.sh $(BUILD)

screenshot: build
	scripts/screenshot.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
