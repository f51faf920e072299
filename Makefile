# Entry points of the README. Every target installs what is missing first.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 10

.PHONY: run test build deps bench asan tsan fuzz package docs clean

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B build -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

test: build
	@ctest --test-dir build --output-on-failure -j $(JOBS)

run: build
	@scripts/run-app

bench: build
	@scripts/run-benchmarks build

# The desktop client as a Debian package: build/zor_<version>_<arch>.deb.
package: build
	@cmake --build build --target package

# API reference of the installed headers: build/docs/html/index.html. Fails on
# any Doxygen warning and on public classes without a description.
docs: deps
	@cmake -S . -B build -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build build --target docs

# Unit tests under AddressSanitizer + UndefinedBehaviorSanitizer (clang), and a
# short run of every fuzzer.
asan: deps
	@CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DZOR_SANITIZE=address,undefined -DZOR_FUZZ=ON -DZOR_FUZZ_SECONDS=$(FUZZ_SECONDS) $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@ctest --test-dir build-asan --output-on-failure -j $(JOBS) -L 'unit|fuzz' -LE interop

# Tests of concurrent code under ThreadSanitizer.
tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZOR_SANITIZE=thread $(CMAKE_FLAGS) >/dev/null
	@targets=$$(cmake --build build-tsan --target help | grep -o 'zor_[a-z0-9_]*_mt_tests' | sort -u); \
	  if [ -n "$$targets" ]; then cmake --build build-tsan -j $(JOBS) --target $$targets && \
	  ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -L concurrency; \
	  else echo "no concurrency tests"; fi

# Longer fuzzing: make fuzz FUZZ_SECONDS=600
fuzz: FUZZ_SECONDS = 300
fuzz: asan

clean:
	rm -rf build build-asan build-tsan
