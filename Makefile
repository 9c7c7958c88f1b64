# Entry points for newcomers and CI. Each target installs missing packages first.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

SOURCE_DIRS = base crates runner tools bench examples fuzz

# Seconds each fuzz target runs for in `make fuzz`.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = archive clothing decompress block_chain terminfo runner_options tool_command_line

.PHONY: all deps build run test test-asan bench python fuzz fuzz-seeds format check-format

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

# The main job: run every check of the program against the archive, tally shown. Builds only the
# check program and the sample generator, without the sub-make's directory lines.
run: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release --target clothing_parity tarnwick-forge -j $(JOBS) \
		-- --no-print-directory
	@scripts/main-job

test: build
	ctest --preset release -j $(JOBS)

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: build
	@scripts/bench

# The Python module tarnwick_dat, built by the release build and installed into the virtual
# environment build/venv, made with Debian's interpreter so that it sees Debian's setuptools and
# pybind11 (another python3 may come first on PATH). Then build/venv/bin/python can import it.
python: deps
	cmake --preset release >/dev/null
	[ -x build/venv/bin/python ] || /usr/bin/python3 -m venv --system-site-packages build/venv
	JOBS=$(JOBS) build/venv/bin/python -m pip install --no-build-isolation --no-index --no-deps \
		./python

# The libFuzzer targets, built with clang-19 in build/fuzzing (apart from the g++ builds), each run
# for FUZZ_SECONDS from its seed corpus.
fuzz:
	@scripts/install-deps fuzz
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	scripts/run-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Writes the seed corpora in fuzz/corpus again: archives and what they hold from the sample
# generator and the archive writer, command lines, and terminal descriptions compiled by tic.
fuzz-seeds: build
	build/bin/write-seed-corpus fuzz/corpus
	tmp=$$(mktemp -d) && tic -x -o $$tmp fuzz/seed_terminals.src && \
		cp $$tmp/s/seed-16bit $$tmp/s/seed-32bit fuzz/corpus/terminfo/ && rm -r $$tmp

format:
	find $(SOURCE_DIRS) -name '*.cpp' -o -name '*.hpp' | xargs clang-format -i

# Fails on any source that clang-format would change, or whose quoted include names no file in
# the tree (scripts/check-includes).
check-format: deps
	find $(SOURCE_DIRS) -name '*.cpp' -o -name '*.hpp' | xargs clang-format --dry-run -Werror
	scripts/check-includes
