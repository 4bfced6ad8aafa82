# Quick start: `make demo` runs a job on the bundled example node,
# `make test` builds and runs every test.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build test demo bench fuzz asan clean

all: build

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	sh examples/demo.sh $(BUILD)/olvix

# The toss against its floor runs first, on a file system not yet churned by
# the other benchmarks' hundreds of thousands of files.
bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOLVIX_BENCH=ON >/dev/null
	cmake --build build-bench -j $(JOBS) --target olvix_bench
	build-bench/olvix_bench --benchmark_filter='Floor|SystemCalls|OneGiB'
	build-bench/olvix_bench --benchmark_filter='-Floor|SystemCalls|OneGiB'

# Builds every fuzzer with clang and runs each for FUZZ_SECONDS on a copy
# of its seed corpus; a crash fails.
FUZZ_SECONDS ?= 20
fuzz:
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOLVIX_FUZZ=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	sh fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-bench build-fuzz
