# Wraps CMake. Quick start: `make demo`, then `make test`. Every target first
# installs the Debian packages it needs (see scripts/ensure-packages).

JOBS   ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE  ?= cmake
ENSURE := scripts/ensure-packages
# The interpreter the Python module is built for and tested with: Debian's,
# which sees Debian's NumPy and pybind11 (a pyenv python3 first on PATH does
# not). Choose another with `make PYTHON=/path/to/python3`.
PYTHON ?= /usr/bin/python3
PYTHON_CMAKE := -DGEOCONV_BUILD_PYTHON=ON -DPython_EXECUTABLE=$(PYTHON)

# libsleef-dev: SLEEF's vector functions, for geoconv::fast (Mode::kFast).
BUILD_PKGS := cmake g++ python3-dev python3-numpy pybind11-dev python3-pybind11 libsleef-dev
# The Python module on Dask (geoconv.dask, geoconv.batch) and its tests.
DASK_PKGS  := python3-dask python3-distributed python3-pandas
# python3-pymap3d: the peer the Python tests check the velocity rotations against.
TEST_PKGS  := $(BUILD_PKGS) libgtest-dev libgeographiclib-dev libmpfr-dev pkg-config python3 time valgrind mandoc \
              emscripten \
              chromium python3-pytest python3-pytest-timeout python3-pymap3d $(DASK_PKGS)

SANITIZE := -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all \
            -fno-omit-frame-pointer

.PHONY: all demo test test-plain test-math test-cross test-cross-windows bench bench-python bench-dask bench-js figures fuzz clean js web

# The library, both programs and the Python package (build/release/python).
all:
	@$(ENSURE) $(BUILD_PKGS)
	$(CMAKE) -S . -B build/release -DGEOCONV_BUILD_TESTS=OFF $(PYTHON_CMAKE)
	$(CMAKE) --build build/release -j $(JOBS)

demo: all
	./build/release/demo/geoconv-demo

# The whole suite, twice: a normal build and an AddressSanitizer +
# UndefinedBehaviorSanitizer build. Before them, the table of expected results
# is checked by a build with -O3 -march=native (and -mfma where the processor
# has it): the library's bits must not depend on the flags, and the
# WebAssembly package and the page's browser driver are made. The normal
# build's ctest runs the front ends too, once: Node's test runner over
# js/test (against the native converter just built) and web/test (the page
# in headless Chromium, against the native demonstration), every example of
# README.md, docs/*.md and js/README.md (tests/transcript.py), and the Python
# tests against the module of that build (tests/CMakeLists.txt).
NATIVE_FLAGS := -O3 -march=native $(shell grep -qw fma /proc/cpuinfo 2>/dev/null && echo -mfma)
test:
	@$(ENSURE) $(TEST_PKGS)
	$(CMAKE) -S . -B build/native -DCMAKE_CXX_FLAGS="$(NATIVE_FLAGS)"
	$(CMAKE) --build build/native -j $(JOBS) --target geoconv-table
	./build/native/tests/geoconv-table tests/data/expected.txt
	$(MAKE) js web/node_modules
	$(CMAKE) -S . -B build/test -DGEOCONV_WERROR=ON $(PYTHON_CMAKE)
	$(CMAKE) --build build/test -j $(JOBS)
	cd build/test && ctest --output-on-failure -j $(JOBS) --timeout 300
	$(CMAKE) -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="$(SANITIZE)"
	$(CMAKE) --build build/asan -j $(JOBS)
	cd build/asan && ctest --output-on-failure -j $(JOBS) --timeout 300

# A plain build as a new user makes it, with GoogleTest, Python and SLEEF
# hidden: it configures, builds, installs and serves the consumers (the
# package test), with the table and the digests. The front ends are make
# test's.
test-plain:
	@$(ENSURE) cmake g++ pkg-config
	$(CMAKE) -S . -B build/plain -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
	  -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON -DGEOCONV_BUILD_FAST=OFF -DGEOCONV_TEST_FRONT_ENDS=OFF
	$(CMAKE) --build build/plain -j $(JOBS)
	cd build/plain && ctest --output-on-failure -j $(JOBS) --timeout 300

# The elementary functions of geoconv/src/math against MPFR on MATH_COUNT
# arguments each (about eight minutes on two cores); make test runs a
# million each.
MATH_COUNT ?= 50000000
test-math:
	@$(ENSURE) $(TEST_PKGS)
	$(CMAKE) -S . -B build/test -DGEOCONV_WERROR=ON $(PYTHON_CMAKE)
	$(CMAKE) --build build/test -j $(JOBS) --target geoconv-math-test
	GEOCONV_MATH_COUNT=$(MATH_COUNT) ./build/test/tests/geoconv-math-test

# The table of expected results, the digests, the fuzz replays and the
# converter's transcripts on other processors: aarch64 and s390x (big-endian),
# built by Debian's cross compilers, linked statically and run under qemu-user
# (cmake/cross.cmake), and Windows (below). `make test-cross-s390x` runs one
# of them.
CROSS_PROCESSORS := aarch64 s390x
test-cross: $(addprefix test-cross-,$(CROSS_PROCESSORS)) test-cross-windows
test-cross-%:
	@$(ENSURE) cmake python3 time g++-$*-linux-gnu qemu-user-static
	$(CMAKE) -S . -B build/cross-$* -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake -DGEOCONV_CROSS=$* \
	  -DGEOCONV_BUILD_DEMO=OFF -DGEOCONV_WERROR=ON
	$(CMAKE) --build build/cross-$* -j $(JOBS)
	cd build/cross-$* && ctest --output-on-failure -j $(JOBS) --timeout 300

# Windows on x86-64: the library and the table, digests and fuzz replays
# built with Debian's mingw-w64 (cmake/mingw.cmake), linked statically and run
# under Wine.
test-cross-windows:
	@$(ENSURE) cmake python3 g++-mingw-w64-x86-64-posix wine64
	$(CMAKE) -S . -B build/cross-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw.cmake \
	  -DGEOCONV_BUILD_DEMO=OFF -DGEOCONV_BUILD_TOOLS=OFF -DGEOCONV_BUILD_FAST=OFF -DGEOCONV_WERROR=ON
	$(CMAKE) --build build/cross-windows -j $(JOBS)
	cd build/cross-windows && WINEDEBUG=-all ctest --output-on-failure -j $(JOBS) --timeout 300

# Per-call times next to GeographicLib and PROJ, and the converter next to cct;
# the array routines over 1,048,576 points: the point routine in a loop, the
# exact arrays (GEOCONV_ISA=avx2 make bench caps them at AVX2) and the fast
# mode where it has kernels of its own; the elementary functions next to
# glibc's and LLVM libc's (the baseline build, then x86-64-v3 where the
# processor has it); then the Python module next to pymap3d and pyproj on
# 1,000,000 points. Each ends with its table of ratios, each marked met or
# MISSED against its target (the functions' ratio column: geoconv / libm).
BENCH_PKGS := $(BUILD_PKGS) libbenchmark-dev libgeographiclib-dev libproj-dev proj-bin libllvmlibc-22-dev
PY_BENCH_PKGS := python3-pymap3d python3-pyproj
bench: all
	@$(ENSURE) $(BENCH_PKGS) $(PY_BENCH_PKGS)
	$(CMAKE) -S . -B build/bench -DGEOCONV_BUILD_BENCH=ON -DGEOCONV_BUILD_MATH_BENCH=ON -DGEOCONV_BUILD_TESTS=OFF
	$(CMAKE) --build build/bench -j $(JOBS) --target geoconv-bench geoconv-math-bench
	./build/bench/bench/geoconv-bench
	./build/bench/geoconv-math-bench
	if [ -x build/bench/geoconv-math-bench-v3 ] && grep -qw avx2 /proc/cpuinfo && grep -qw fma /proc/cpuinfo; then \
	  $(CMAKE) --build build/bench -j $(JOBS) --target geoconv-math-bench-v3 && ./build/bench/geoconv-math-bench-v3; fi
	PYTHONPATH=$(CURDIR)/build/release/python $(PYTHON) bench/bench_python.py

# The Python part alone.
bench-python: all
	@$(ENSURE) $(PY_BENCH_PKGS)
	PYTHONPATH=$(CURDIR)/build/release/python $(PYTHON) bench/bench_python.py

# The npm package on Float64Arrays of 1,000,000 points next to Cesium and
# proj4 (bench/js, their versions locked in its package-lock.json) and next
# to the native exact loop (bench/js/native.cpp over the library built with
# its own flags), in interleaved rounds; ends with the table of ratios, each
# marked met or MISSED against its target.
bench-js: js bench/js/node_modules
	@$(ENSURE) cmake g++
	$(CMAKE) -S . -B build/bench-js -DGEOCONV_BUILD_TESTS=OFF -DGEOCONV_BUILD_DEMO=OFF -DGEOCONV_BUILD_TOOLS=OFF
	$(CMAKE) --build build/bench-js -j $(JOBS) --target geoconv
	$(CXX) -O2 -std=c++17 -Wall -Wextra -Igeoconv/include bench/js/native.cpp \
	  build/bench-js/geoconv/libgeoconv.a -o build/bench-js/native
	MALLOC_MMAP_THRESHOLD_=33554432 MALLOC_TRIM_THRESHOLD_=4294967296 \
	  node --expose-gc bench/js/bench.mjs build/bench-js/native

bench/js/node_modules: bench/js/package.json bench/js/package-lock.json
	cd bench/js && npm ci --no-audit --no-fund
	@touch $@

# Points per second of geoconv.dask and python3 -m geoconv.batch on a
# LocalCluster of one and of two workers, next to one process, in one run.
bench-dask: all
	@$(ENSURE) $(DASK_PKGS)
	PYTHONPATH=$(CURDIR)/build/release/python $(PYTHON) bench/bench_dask.py build/release/tools/geoconv

# docs/accuracy.png and docs/speed.png, drawn from measurements made now (a
# few minutes): the error against GeographicLib over height and latitude
# (docs/accuracy_samples.cpp), and the benchmarks' times of ours and the peers
# (bench/bench.cpp, its comparisons only, as JSON; bench/bench_python.py).
FIGURE_PKGS := $(BENCH_PKGS) $(PY_BENCH_PKGS) python3-matplotlib
FIGURE_BENCHES := ^(Ours_(LLA84toEFG84|EFG84toLLA84|AERtoLLA84|EFG84toAER)|GeographicLib_(Forward|Reverse|LocalCartesian_Reverse|Reverse_LocalCartesian_Forward)|PROJ_(cart_forward|cart_inverse|topocentric_inverse|topocentric_forward)|Tool_geoconv_lla2efg|Tool_cct_cart)(/|$$)
figures: all
	@$(ENSURE) $(FIGURE_PKGS)
	$(CMAKE) -S . -B build/bench -DGEOCONV_BUILD_BENCH=ON -DGEOCONV_BUILD_TESTS=OFF
	$(CMAKE) --build build/bench -j $(JOBS) --target geoconv-bench
	mkdir -p build/figures
	$(CXX) -O2 -std=c++17 -Wall -Wextra -Igeoconv/include docs/accuracy_samples.cpp \
	  build/release/geoconv/libgeoconv.a -lGeographicLib -o build/figures/accuracy-samples
	./build/figures/accuracy-samples > build/figures/accuracy.txt
	./build/bench/bench/geoconv-bench --benchmark_filter='$(FIGURE_BENCHES)' > build/figures/bench.txt
	PYTHONPATH=$(CURDIR)/build/release/python $(PYTHON) bench/bench_python.py > build/figures/bench_python.txt
	cat build/figures/bench_python.txt
	$(PYTHON) docs/figures.py build/figures

# libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer, each
# run for FUZZ_SECONDS; any finding fails the target.
FUZZ_SECONDS ?= 60
FUZZ_PKGS := cmake clang libclang-rt-14-dev
fuzz:
	@$(ENSURE) $(FUZZ_PKGS)
	$(CMAKE) -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DGEOCONV_BUILD_FUZZ=ON \
	  -DGEOCONV_BUILD_TESTS=OFF -DGEOCONV_BUILD_DEMO=OFF -DGEOCONV_BUILD_TOOLS=ON -DGEOCONV_BUILD_FAST=OFF \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow -fno-sanitize-recover=all"
	$(CMAKE) --build build/fuzz -j $(JOBS)
	@for t in fuzz_strtoint fuzz_conversions fuzz_numbers fuzz_lines fuzz_arrays; do \
	  mkdir -p build/fuzz/corpus-$$t; cp fuzz/corpus/$$t/* build/fuzz/corpus-$$t/; \
	  echo "== $$t for $(FUZZ_SECONDS) s"; \
	  ./build/fuzz/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/ build/fuzz/corpus-$$t > build/fuzz/$$t.log 2>&1; \
	  rc=$$?; grep -v '^#' build/fuzz/$$t.log | tail -n 12; \
	  [ $$rc -eq 0 ] || { echo "$$t: finding, see build/fuzz/$$t.log"; exit 1; }; \
	done

# The library, the converter's line engine and the demonstration's report as
# one standalone WebAssembly module for js/ (the npm package) and web/ (the
# page), built by CMake under Debian's emscripten (js/wasm/CMakeLists.txt) on
# the library's own targets and flags; CMake decides what to rebuild, and the
# file is replaced only when it changed. Debian's emscripten runs on this Node
# with Debian's Node modules.
JS_PKGS := cmake emscripten
EMENV   := NODE_PATH=/usr/share/nodejs
.PHONY: js/geoconv.wasm
js/geoconv.wasm:
	@$(ENSURE) $(JS_PKGS)
	$(EMENV) emcmake $(CMAKE) -S . -B build/wasm -DGEOCONV_WERROR=ON
	$(EMENV) $(CMAKE) --build build/wasm -j $(JOBS) --target geoconv-wasm
	cmp -s build/wasm/js/wasm/geoconv.wasm $@ || cp build/wasm/js/wasm/geoconv.wasm $@

# The npm package: the module built, its TypeScript declarations index.d.ts
# written from the module's description of its routines (js/gen-types.mjs),
# and packed as build/js/geoconv-3.0.0.tgz. Debian's TypeScript compiler is
# for the package's test, which compiles calls against the declarations.
js: js/geoconv.wasm
	@$(ENSURE) node-typescript
	cd js && node gen-types.mjs
	mkdir -p build/js && cd js && npm pack --silent --pack-destination ../build/js

# puppeteer-core for the page's test, as locked; it drives Debian's chromium
# and never downloads a browser.
web/node_modules: web/package.json web/package-lock.json
	cd web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund
	@touch $@

# The page at http://127.0.0.1:$(WEB_PORT)/web/ until Ctrl-C.
WEB_PORT ?= 8016
web: js
	node web/serve.mjs $(WEB_PORT)

clean:
	rm -rf build
