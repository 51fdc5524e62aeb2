# NIVRA top-level commands.
#   make test            optimised build, every test through CTest
#   make demo            builds the program and runs the bundled example watershed and the V-catchment
#   make check-sanitize  debug build with AddressSanitizer and UBSan, every test
#   make bench           builds and runs the benchmarks
#   make bench-smoke     builds the benchmarks in the optimised build folder
#                        and runs each once, briefly, on a small storm
# Each first installs the packages the build needs when any is missing
# (tools/install_deps.sh, as root or through sudo) and configures its build
# folder when the folder lacks the build files of a finished configure
# (tools/configure.sh).
# NPROC=n sets the parallel build and test jobs (default: every core), e.g.
#   make test NPROC=4

NPROC     := $(shell nproc 2>/dev/null || echo 2)
CMAKE     ?= cmake
RELEASE   := build/release
SANITIZE  := build/sanitize
BENCHDIR  := build/bench
DEMO_PRJ  := examples/plane/plane.prj
CONFIGURE := CMAKE=$(CMAKE) sh tools/configure.sh

.PHONY: all deps build test demo check-sanitize bench bench-smoke clean

all: build

deps:
	@sh tools/install_deps.sh

build: deps
	@$(CONFIGURE) $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DNIVRA_TESTS=ON
	$(CMAKE) --build $(RELEASE) -j $(NPROC)

test: build
	cd $(RELEASE) && ctest -j $(NPROC) --output-on-failure

# The demo builds the program alone (no tests), keeps the whole console in
# its log and shows it with one progress line every 15 simulated minutes,
# then the results from the run summary.
DEMO_DIR  := $(dir $(DEMO_PRJ))
DEMO_NAME := $(basename $(notdir $(DEMO_PRJ)))
DEMO_KEYS := date/time of peak discharge|Event peak discharge|volume of rainfall to overland|volume of discharge|volume remaining on surface|mass conservation error:|Overall mass balance error
VCATCH_DIR  := examples/vcatch/
VCATCH_KEYS := date/time of peak discharge|Event peak discharge|volume of rainfall to overland|volume of discharge|final volume in channels|Overall mass balance error

demo: deps
	@$(CONFIGURE) $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DNIVRA_TESTS=ON
	$(CMAKE) --build $(RELEASE) -j $(NPROC) --target nivra
	@echo "cd $(DEMO_DIR) && nivra $(notdir $(DEMO_PRJ)) > $(DEMO_NAME).log"
	@cd $(DEMO_DIR) && { $(CURDIR)/$(RELEASE)/src/nivra $(notdir $(DEMO_PRJ)) > $(DEMO_NAME).log 2>&1; \
	  status=$$?; awk '!/^event +[0-9]+ elapsed time/ || $$5 % 15 == 0' $(DEMO_NAME).log; exit $$status; }
	@echo
	@echo "Results (from $(DEMO_DIR)$(DEMO_NAME).sum):"
	@grep -E '$(DEMO_KEYS)' $(DEMO_DIR)$(DEMO_NAME).sum | sed 's/^/  /'
	@echo
	@echo "Overland depth (m) at the end of the rain, 60 minutes in ($(DEMO_DIR)depth.0002.asc;"
	@echo "-9999.99 outside the watershed, the outlet at the south-east corner):"
	@tail -n +7 $(DEMO_DIR)depth.0002.asc | sed 's/^/  /'
	@echo
	@echo "The cells of $(DEMO_DIR)$(DEMO_NAME).loc every 15 minutes (from $(DEMO_DIR)$(DEMO_NAME).cdd):"
	@echo "  minutes  depth (m)        discharge (m3/s)"
	@echo "           row 3 col 4  row 6 col 7  row 3 col 4  row 6 col 7"
	@awk '$$1 % 15 == 0 {printf "  %7.0f  %11.4f  %11.4f  %11.5f  %11.5f\n", $$1, $$2, $$3, $$4, $$5}' $(DEMO_DIR)$(DEMO_NAME).cdd
	@echo
	@echo "The demo's outputs are in $(DEMO_DIR):"
	@echo "  run summary with the mass balance: $(DEMO_DIR)$(DEMO_NAME).sum"
	@echo "  outlet hydrograph (minutes, m3/s): $(DEMO_DIR)$(DEMO_NAME).otl"
	@echo "  depth maps at 0, 60, 120, 180 min: $(DEMO_DIR)depth.0001.asc ... depth.0004.asc"
	@echo "  depth and discharge of two cells:  $(DEMO_DIR)$(DEMO_NAME).cdd (every 5 minutes)"
	@echo "  console, every progress line:      $(DEMO_DIR)$(DEMO_NAME).log"
	@echo
	@echo "cd $(VCATCH_DIR) && nivra vcatch.prj > vcatch.log"
	@cd $(VCATCH_DIR) && { $(CURDIR)/$(RELEASE)/src/nivra vcatch.prj > vcatch.log 2>&1 || { cat vcatch.log; exit 1; }; }
	@echo "The V-catchment (from $(VCATCH_DIR)vcatch.sum; equilibrium discharge 4.86 m3/s):"
	@grep -E '$(VCATCH_KEYS)' $(VCATCH_DIR)vcatch.sum | sed 's/^/  /'
	@echo "  outlet hydrograph (minutes, m3/s): $(VCATCH_DIR)vcatch.otl"

check-sanitize: deps
	@$(CONFIGURE) $(SANITIZE) -DCMAKE_BUILD_TYPE=Debug -DNIVRA_SANITIZE=ON -DNIVRA_TESTS=ON
	$(CMAKE) --build $(SANITIZE) -j $(NPROC)
	cd $(SANITIZE) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest -j $(NPROC) --output-on-failure

# A benchmark program that exits non-zero (a benchmark stopped on an error)
# or prints an error line fails the target (tools/run_benchmarks.sh).
bench: deps
	@$(CONFIGURE) $(BENCHDIR) -DCMAKE_BUILD_TYPE=Release -DNIVRA_TESTS=OFF -DNIVRA_BENCH=ON
	$(CMAKE) --build $(BENCHDIR) -j $(NPROC)
	@sh tools/run_benchmarks.sh $(BENCHDIR)/bench

# The smoke run keeps every benchmark from rotting: built beside the tests
# (the benchmarks switched on in the optimised build folder, whose library
# they reuse), each run for a minimal time (Google Benchmark 1.7 takes the
# seconds as a plain number), the storms on a plane of 50 x 50 cells for one
# minute; the sewers of 20,000 superjunctions, whose fixed counts of steps
# take over a minute, are left to `make bench`.
SMOKE_FLAGS := --benchmark_min_time=0.01 --benchmark_filter=-junctions:20000
bench-smoke: deps
	@$(CONFIGURE) $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DNIVRA_TESTS=ON -DNIVRA_BENCH=ON
	@grep -q '^NIVRA_BENCH:BOOL=ON' $(RELEASE)/CMakeCache.txt || $(CMAKE) $(RELEASE) -DNIVRA_BENCH=ON
	$(CMAKE) --build $(RELEASE) -j $(NPROC) --target benchmarks
	@NIVRA_STORM_MINUTES=1 NIVRA_STORM_SIDE=50 sh tools/run_benchmarks.sh $(RELEASE)/bench $(SMOKE_FLAGS)

clean:
	rm -rf build
