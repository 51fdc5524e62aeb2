# NIVRA top-level commands.
#   make test            optimised build, every test through CTest
#   make demo            builds and runs the bundled example watershed
#   make check-sanitize  debug build with AddressSanitizer and UBSan, every test
#   make bench           builds and runs the benchmarks

NPROC     := $(shell nproc 2>/dev/null || echo 2)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CMAKE     ?= cmake
RELEASE   := build/release
SANITIZE  := build/sanitize
BENCHDIR  := build/bench
DEMO_PRJ  := examples/plane/plane.prj

.PHONY: all build test demo check-sanitize bench clean

all: build

$(RELEASE)/CMakeCache.txt:
	$(CMAKE) -S . -B $(RELEASE) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DNIVRA_TESTS=ON

build: $(RELEASE)/CMakeCache.txt
	$(CMAKE) --build $(RELEASE) -j $(NPROC)

test: build
	cd $(RELEASE) && ctest -j $(NPROC) --output-on-failure

demo: build
	cd $(dir $(DEMO_PRJ)) && $(CURDIR)/$(RELEASE)/src/nivra $(notdir $(DEMO_PRJ))
	@echo
	@echo "The demo's outputs are in $(dir $(DEMO_PRJ)):"
	@echo "  run summary with the mass balance: $(dir $(DEMO_PRJ))plane.sum"
	@echo "  outlet hydrograph (minutes, m3/s): $(dir $(DEMO_PRJ))plane.otl"

$(SANITIZE)/CMakeCache.txt:
	$(CMAKE) -S . -B $(SANITIZE) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DNIVRA_SANITIZE=ON -DNIVRA_TESTS=ON

check-sanitize: $(SANITIZE)/CMakeCache.txt
	$(CMAKE) --build $(SANITIZE) -j $(NPROC)
	cd $(SANITIZE) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest -j $(NPROC) --output-on-failure

$(BENCHDIR)/CMakeCache.txt:
	$(CMAKE) -S . -B $(BENCHDIR) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DNIVRA_TESTS=OFF -DNIVRA_BENCH=ON

bench: $(BENCHDIR)/CMakeCache.txt
	$(CMAKE) --build $(BENCHDIR) -j $(NPROC)
	@for b in $(BENCHDIR)/bench/bench_*; do \
	  [ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; \
	done

clean:
	rm -rf build
