# Top-level entry points. `make test` and `make demo` install what is missing
# (as root, from Debian's packages), build, and run under Wine.
ARCH ?= win32 win64
BUILD_ROOT ?= build
JOBS ?= 2
CTEST_ARGS ?=
FUZZ_RUNS ?= 1000000
# The short fuzzing step of `make test` (no: leave it out).
FUZZ_TEST ?= yes

.PHONY: all setup deps build test demo bench fuzz format clean

all: build

setup:
	@bash scripts/setup.sh

deps: setup
	@for a in $(ARCH); do bash scripts/build-deps.sh $$a || exit 1; done

build: deps
	@for a in $(ARCH); do \
	  cmake -S . -B $(BUILD_ROOT)/$$a -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$a.cmake \
	    -DORVIN_DEPS=$(CURDIR)/build/deps/$$a -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1; \
	  cmake --build $(BUILD_ROOT)/$$a -j$(JOBS) || exit 1; \
	done

# The architectures' suites run side by side (each has its own Wine prefix);
# each suite runs its tests one after the other.
test: build
	@for a in $(ARCH); do bash scripts/wine-run.sh --init $$a & done; wait
	@rc=0; for a in $(ARCH); do \
	  (cd $(BUILD_ROOT)/$$a && ctest --output-on-failure --timeout 900 $(CTEST_ARGS) \
	     > ../test-$$a.log 2>&1; echo $$? > ../test-$$a.rc) & \
	done; wait; \
	if [ "$(FUZZ_TEST)" = yes ]; then \
	  bash fuzz/fuzz.sh --short > $(BUILD_ROOT)/fuzz-short.log 2>&1 || rc=1; \
	  sed -n '/^== fuzz/,$$p' $(BUILD_ROOT)/fuzz-short.log | grep . || cat $(BUILD_ROOT)/fuzz-short.log; \
	fi; \
	for a in $(ARCH); do \
	  echo "== tests ($$a)"; cat $(BUILD_ROOT)/test-$$a.log; \
	  [ "$$(cat $(BUILD_ROOT)/test-$$a.rc)" = 0 ] || rc=1; \
	done; exit $$rc

demo:
	@$(MAKE) --no-print-directory build ARCH=win32
	@bash scripts/demo.sh

bench:
	@$(MAKE) --no-print-directory build ARCH=win64
	@bash scripts/bench.sh

# The parsers under libFuzzer with ASan and UBSan, natively (see FUZZING.md).
fuzz:
	@FUZZ_RUNS=$(FUZZ_RUNS) bash fuzz/fuzz.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_ROOT)/win32 $(BUILD_ROOT)/win64 $(BUILD_ROOT)/fuzz
