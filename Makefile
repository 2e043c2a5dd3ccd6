# Sonavik: the two commands for a new user on Debian 12, and a few for developers.
#   make run    install what is missing, build, start the local speech service
#               and Sonavik pointed at it (scripts/run-with-speechd)
#   make test   install what is missing, build, run every test (plain, then
#               AddressSanitizer + UndefinedBehaviorSanitizer, then the core's
#               tests under ThreadSanitizer)
#   make build  build the debug preset only
#   make bench  build the release preset and run the benchmarks
#   make format apply .clang-format to the sources
#   make screenshots  write PNG images of both windows in every theme and size
#               into docs/screenshots/ (under Xvfb)
SHELL := /bin/bash
.DEFAULT_GOAL := build
JOBS ?= $(shell nproc)

.PHONY: deps-run deps-test build run test test-plain test-asan test-tsan bench format screenshots

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
