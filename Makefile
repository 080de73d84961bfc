# Common flows of ZQExtensionKit. Each flow has its own build directory under
# build/, so switching between them never rebuilds the others.
#
#   make demo        install missing dependencies, build the demo, assemble its
#                    installation in build/demo, run the demo host there (its
#                    start-up trace in build/demo/startup-trace.json) and
#                    draw the installation into build/demo/installation.svg
#   make test        install missing dependencies, build, run every test
#   make test-asan   the whole suite under AddressSanitizer + UBSan, built with clang
#   make test-tsan   the concurrency tests under ThreadSanitizer
#   make bench       build and run the benchmarks (Release)
#   make fuzz        run each fuzz target for FUZZ_SECONDS (clang, libFuzzer)
#   make docs        the API reference of the public headers, build/docs/html
#                    (any Doxygen warning fails it)
#   make package     the Debian packages of the SDK, build/packages/*.deb
#   make test-package  make package, then unpack the packages, build the
#                    getting-started example and a new plug-in against them,
#                    and run lintian
#   make format      clang-format every C++ file in place

SHELL        := /bin/bash
ZQ_WERROR    ?= OFF
FUZZ_SECONDS ?= 60
JOBS         ?= $(shell nproc)
GENERATOR    := -G Ninja
CMAKE_COMMON := -DZQ_WERROR=$(ZQ_WERROR)
CTEST        := ctest --output-on-failure --timeout 300 -j $(JOBS)

# build/default also assembles the demo's installation, in build/demo.
DEFAULT_CONFIG := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQ_DEMO_DIR=$(CURDIR)/build/demo \
                  -DZQ_DOCS_DIR=$(CURDIR)/build/docs

.PHONY: all deps build demo test test-asan test-tsan bench fuzz docs package test-package \
        format clean

all: build

deps:
	@scripts/install-deps.sh

# Configured again whenever this file changes, so its settings always apply.
build/default/build.ninja: Makefile | deps
	cmake -S . -B build/default $(GENERATOR) $(CMAKE_COMMON) $(DEFAULT_CONFIG)

build: build/default/build.ninja
	cmake --build build/default -j $(JOBS)

# Configures again first (a second or so), so a tree configured elsewhere
# still assembles the installation where the host is run from.
demo: | deps
	cmake -S . -B build/default $(GENERATOR) $(CMAKE_COMMON) $(DEFAULT_CONFIG) > /dev/null
	cmake --build build/default -j $(JOBS) --target zq_demo
	@echo
	ZQEXT_TRACE=build/demo/startup-trace.json build/demo/zq-demo
	@build/default/tools/zqext/zqext graph --key-file examples/demo/demo.key --version 3.2.0 \
	  --svg build/demo/installation.svg build/demo
	@echo
	@echo "The demo installation as zqext graph draws it: build/demo/installation.svg"
	@echo "The demo host's start-up trace (open it in https://ui.perfetto.dev or chrome://tracing):"
	@echo "  build/demo/startup-trace.json"

test: build
	cd build/default && $(CTEST)

test-asan: deps
	cmake -S . -B build/asan $(GENERATOR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZQ_SANITIZE=address,undefined
	cmake --build build/asan -j $(JOBS)
	cd build/asan && ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1 $(CTEST)

test-tsan: deps
	cmake -S . -B build/tsan $(GENERATOR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZQ_SANITIZE=thread
	cmake --build build/tsan -j $(JOBS) --target concurrency_tests
	cd build/tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(CTEST) -L concurrency

bench: deps
	cmake -S . -B build/bench $(GENERATOR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release \
	  -DZQ_BUILD_TESTS=OFF -DZQ_BUILD_BENCH=ON -DZQ_BUILD_TOOLS=OFF
	cmake --build build/bench -j $(JOBS)
	@set -e; for b in build/bench/bench/*_bench; do echo "== $$b"; $$b; done

fuzz: deps
	cmake -S . -B build/fuzz $(GENERATOR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DZQ_BUILD_TESTS=OFF -DZQ_BUILD_FUZZ=ON -DZQ_BUILD_TOOLS=OFF
	cmake --build build/fuzz -j $(JOBS)
	@set -e; for f in build/fuzz/fuzz/*_fuzzer; do \
	  name=$$(basename $$f _fuzzer); \
	  corpus=build/fuzz/corpus/$$name; mkdir -p $$corpus; \
	  echo "== $$name ($(FUZZ_SECONDS)s)"; \
	  if ! $$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	      $$corpus fuzz/corpus/$$name > build/fuzz/$$name.log 2>&1; then \
	    tail -n 60 build/fuzz/$$name.log; exit 1; \
	  fi; \
	  grep -E "^(#[0-9]+ *DONE|Done [0-9]+ runs)" build/fuzz/$$name.log | tail -n 1; \
	done

docs: build/default/build.ninja
	cmake --build build/default --target docs
	@echo "docs: build/docs/html/index.html"

package: build docs
	rm -rf build/packages
	cd build/default && cpack -G DEB -B $(CURDIR)/build/packages > /dev/null
	@ls build/packages/*.deb

test-package: package
	cmake -DPACKAGE_DIR=$(CURDIR)/build/packages -DSOURCE_DIR=$(CURDIR) \
	  -DWORK_DIR=$(CURDIR)/build/package-check -DVERSION_HEADER=$(CURDIR)/ZQExtensionKit/ZQExtensionKitVersion.h \
	  -P tests/package/check_packages.cmake

format:
	git ls-files '*.h' '*.cc' | xargs clang-format -i

clean:
	rm -rf build
