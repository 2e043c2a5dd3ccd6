# Sonavik: the two commands for a new user on Debian 12, and a few for developers.
#   make run    install what is missing, build, start the local speech service
#               and Sonavik pointed at it (scripts/run-with-speechd)
#   make test   install what is missing, build, run every test (plain, then
#               AddressSanitizer + UndefinedBehaviorSanitizer, then the core's
#               tests under ThreadSanitizer, then a minute of each fuzzer)
#   make build  build the debug preset only
#   make bench  build the release preset with the benchmarks (run by hand, see bench/)
#   make fuzz   build the libFuzzer targets (clang) and run each for FUZZ_SECONDS
#   make format apply .clang-format to the sources
#   make screenshots  write PNG images of both windows in every theme and size
#               into docs/screenshots/ (under Xvfb)
SHELL := /bin/bash
.DEFAULT_GOAL := build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZERS := answer_reader_fuzz url_fuzz

.PHONY: deps-run deps-test build run test test-plain test-asan test-tsan bench format screenshots fuzz

deps-run:
	@scripts/install-deps run build

deps-test:
	@scripts/install-deps run build test

build: deps-run
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug -j $(JOBS)

run: deps-run
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS) --target sonavik sonavik-speechd
	@scripts/run-with-speechd build/release

test: deps-test
	@$(MAKE) --no-print-directory test-plain
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-tsan
	@$(MAKE) --no-print-directory fuzz

test-plain:
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug -j $(JOBS)
	@scripts/test-env ctest --preset debug

test-asan:
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@scripts/test-env ctest --preset asan

test-tsan:
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@scripts/test-env ctest --preset tsan

# A finding (crash, sanitizer report, leak) makes the fuzzer exit non-zero and
# fails the target; the input that found it is kept in build/fuzz/artifacts/.
fuzz: deps-test
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@mkdir -p build/fuzz/artifacts
	@set -e; for f in $(FUZZERS); do \
	  mkdir -p build/fuzz/corpus/$$f; \
	  echo "fuzz: $$f for $(FUZZ_SECONDS) s"; \
	  build/fuzz/tests/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -max_len=40000 -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/artifacts/$$f- build/fuzz/corpus/$$f tests/fuzz/seeds/$$f \
	    >build/fuzz/$$f.log 2>&1 || { tail -40 build/fuzz/$$f.log; exit 1; }; \
	  grep -E '^stat::number_of_executed_units' build/fuzz/$$f.log || true; \
	done

bench:
	@scripts/install-deps run build test bench
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)
	@echo "Benchmarks are in build/release/bench/"

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

screenshots: deps-test
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug -j $(JOBS) --target sonavik_screenshots
	@QT_QPA_PLATFORM=xcb scripts/test-env build/debug/tests/sonavik_screenshots docs/screenshots
