# Thin wrapper over CMake: a new user needs only `make run` and `make test`.
#   make deps   install every Debian package the build and the tests need
#   make build  optimised build; binaries in build/bin/
#   make run    build and start the player on the bundled sample face
#   make test   sanitizer build (ASan + UBSan) in build/asan, then every test, headless
#   make bench  optimised build, then every benchmark (build/bin/bench-*)
#   make fuzz   libFuzzer build with clang in build/fuzz, bounded run (FUZZ_SECONDS)

BUILD_DIR    ?= build
ASAN_DIR     ?= build/asan
FUZZ_DIR     ?= build/fuzz
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_GEN    := -G Ninja

.PHONY: all deps build run test bench fuzz clean format

all: build

deps:
	@scripts/deps.sh

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@scripts/run-player.sh $(BUILD_DIR)

$(ASAN_DIR)/build.ninja: | deps
	cmake -S . -B $(ASAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DMIMLET_SANITIZE=ON

test: deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ctest --output-on-failure --timeout 600 -j $(JOBS)

bench: build
	@scripts/run-benchmarks.sh $(BUILD_DIR)

$(FUZZ_DIR)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIMLET_FUZZ=ON

fuzz: deps $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz-face
	@scripts/run-fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
