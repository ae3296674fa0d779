# Top-level entry points. `make test` and `make demo` install what is missing
# (as root, from Debian's packages), build, and run under Wine.
ARCH ?= win32 win64
BUILD_ROOT ?= build
JOBS ?= 2
CTEST_ARGS ?=
FUZZ_RUNS ?= 1000000
# The short fuzzing step of `make test` (no: leave it out).
FUZZ_TEST ?= yes

.PHONY: all setup deps build test-host test demo package bench fuzz format clean

all: build

setup:
	@bash scripts/setup.sh

deps: setup
	@for a in $(ARCH); do bash scripts/build-deps.sh $$a || exit 1; done

configure = cmake -S . -B $(BUILD_ROOT)/$(1) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(1).cmake \
	    -DORVIN_DEPS=$(CURDIR)/build/deps/$(1) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: deps
	@for a in $(ARCH); do \
	  $(call configure,$$a) || exit 1; \
	  cmake --build $(BUILD_ROOT)/$$a -j$(JOBS) || exit 1; \
	done

# The 32-bit tests run their servers and box answerers in the 64-bit test
# host (tools/test_host), which a win32-only run must build too.
test-host: deps
	@case " $(ARCH) " in *" win64 "*) ;; *) \
	  bash scripts/build-deps.sh win64 && $(call configure,win64) && \
	  cmake --build $(BUILD_ROOT)/win64 --target orvin_test_host -j$(JOBS) ;; esac

# The architectures' suites run side by side (each has its own Wine prefix);
# each suite runs its tests one after the other, except where 32-bit Wine is
# emulated: there 32-bit code runs several times slower, and the win32 suite
# runs two tests at a time (never two that show windows).
test: build test-host
	@for a in $(ARCH); do bash scripts/wine-run.sh --init $$a & done; wait
	@rc=0; for a in $(ARCH); do \
	  j=1; [ $$a = win32 ] && grep -qs qemu-i386 /proc/sys/fs/binfmt_misc/*i386* && j=2; \
	  (start=$$(date +%s); cd $(BUILD_ROOT)/$$a && ctest -j$$j --output-on-failure $(CTEST_ARGS) \
	     > ../test-$$a.log 2>&1; echo $$? > ../test-$$a.rc; echo $$(( $$(date +%s) - start )) > ../test-$$a.time) & \
	done; wait; \
	if [ "$(FUZZ_TEST)" = yes ]; then \
	  bash fuzz/fuzz.sh --short > $(BUILD_ROOT)/fuzz-short.log 2>&1 || rc=1; \
	  sed -n '/^== fuzz/,$$p' $(BUILD_ROOT)/fuzz-short.log | grep . || cat $(BUILD_ROOT)/fuzz-short.log; \
	fi; \
	for a in $(ARCH); do \
	  echo "== tests ($$a)"; cat $(BUILD_ROOT)/test-$$a.log; \
	  [ "$$(cat $(BUILD_ROOT)/test-$$a.rc)" = 0 ] || rc=1; \
	done; \
	for a in $(ARCH); do echo "== $$a suite: $$(cat $(BUILD_ROOT)/test-$$a.time) s wall time"; done; exit $$rc

# The demo times its phases: packages, third-party libraries, build, Wine
# prefix and the run itself.
demo:
	@set -e; now() { date +%s.%N; }; t0=$$(now); \
	bash scripts/setup.sh; t1=$$(now); \
	arch=$$(bash scripts/demo-arch.sh); \
	bash scripts/build-deps.sh $$arch; t2=$$(now); \
	cmake -S . -B $(BUILD_ROOT)/$$arch -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$arch.cmake \
	  -DORVIN_DEPS=$(CURDIR)/build/deps/$$arch -DCMAKE_BUILD_TYPE=Release >/dev/null; \
	cmake --build $(BUILD_ROOT)/$$arch -j$(JOBS); t3=$$(now); \
	bash scripts/wine-run.sh --init $$arch; t4=$$(now); \
	DEMO_ARCH=$$arch bash scripts/demo.sh; t5=$$(now); \
	printf '\n== demo phases (%s)\n' $$arch; \
	awk -v a=$$t0 -v b=$$t1 -v c=$$t2 -v d=$$t3 -v e=$$t4 -v f=$$t5 'BEGIN { \
	  printf "  packages              %7.1f s\n  third-party libraries %7.1f s\n  build                 %7.1f s\n", b-a, c-b, d-c; \
	  printf "  Wine prefix           %7.1f s\n  run                   %7.1f s\n  total                 %7.1f s\n", e-d, f-e, f-a }'

# The per-user MSI of each architecture, into build/package/ (see README,
# "Shipping to customers"); SIGN_CERT and SIGN_KEY sign the programs and the
# packages.
package: build
	@for a in $(ARCH); do bash packaging/build-msi.sh $(BUILD_ROOT)/$$a $(BUILD_ROOT)/package || exit 1; done

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
