# Entry points for newcomers and CI. Each target installs missing packages first.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

SOURCE_DIRS = base crates runner tools bench examples

.PHONY: all deps build run test test-asan bench format check-format

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

# The main job: run every check of the program against the archive, tally shown.
run: build
	@scripts/main-job

test: build
	ctest --preset release -j $(JOBS)

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: build
	@scripts/bench

format:
	find $(SOURCE_DIRS) -name '*.cpp' -o -name '*.hpp' | xargs clang-format -i

# Fails on any source that clang-format would change.
check-format: deps
	find $(SOURCE_DIRS) -name '*.cpp' -o -name '*.hpp' | xargs clang-format --dry-run -Werror
