# A thin wrapper over the CMake presets.
.PHONY: run test native windows sanitize deps dist icon fuzz fuzz-merge bench

run: native
	./build/native/glimmerquay

test: deps native windows sanitize
	ctest --preset native -j 2
	ctest --preset sanitize -j 2

native:
	cmake --preset native
	cmake --build --preset native -j 2

windows:
	cmake --preset windows-x86
	cmake --build --preset windows-x86 -j 2

sanitize:
	cmake --preset sanitize
	cmake --build --preset sanitize -j 2

deps:
	bash tests/install-deps.sh

# What users download: the Windows zip, the Debian package and their sums,
# in build/dist.
dist: native windows
	python3 dist/make-dist.py . build/native build/windows-x86 build/dist

# Redraws res/glimmerquay.ico and res/glimmerquay.png from res/glimmerquay.svg.
icon:
	bash res/make-icon.sh

# Fuzzes the choice reader for FUZZ_SECONDS (default 300). New inputs land in
# build/sanitize/tests/fuzz-found; `make fuzz-merge` adds those that reach
# new code to the committed ones in tests/fuzz-corpus.
FUZZ_SECONDS ?= 300
FUZZER = build/sanitize/tests/fuzz_choice
fuzz: sanitize
	$(FUZZER) -max_total_time=$(FUZZ_SECONDS) -max_len=64 \
	  -artifact_prefix=build/sanitize/tests/ \
	  build/sanitize/tests/fuzz-found tests/fuzz-corpus

fuzz-merge: sanitize
	$(FUZZER) -merge=1 tests/fuzz-corpus build/sanitize/tests/fuzz-found

# One run's cost against a C floor: instructions, wall time, peak memory.
bench: native
	mkdir -p build/bench
	cc -O2 -o build/bench/floor bench/floor.c
	cc -O2 -static -o build/bench/peak bench/peak.c
	python3 bench/bench.py build/native/glimmerquay build/bench/floor build/bench/peak
