# The two commands of the README: `make run` and `make test`.
# `make build` builds the optimised program; `make fuzz` runs the fuzz targets for a bounded time;
# `make bench` runs the benchmarks against their peers.

BUILD      ?= build
TEST_BUILD ?= build-test
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps build run test fuzz bench screenshots clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTREVALIND_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/trevalind

test: deps
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTREVALIND_SANITIZE=ON -DTREVALIND_TESTS=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREVALIND_FUZZ=ON -DTREVALIND_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@bash tests/fuzz/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTREVALIND_TESTS=OFF -DTREVALIND_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@bash bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD)

# Screenshots of the study browser and the ECG window under Xvfb, for a person to look at.
screenshots: build
	@bash tools/screenshots.sh $(BUILD)
