# The two commands of the README: `make run` and `make test`.
# `make build` builds the optimised program; `make fuzz` runs the fuzz targets for a bounded time;
# `make bench` runs the benchmarks against their peers; `make check` checks the format and the
# layering of the sources. Each target installs what it needs (scripts/install-deps.sh): `make
# run` only the build and run dependencies, the others their peers as well.

BUILD      ?= build
TEST_BUILD ?= build-test
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps build run test check fuzz bench screenshots clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTREVALIND_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/trevalind

# Warnings in our own code fail this build.
test:
	@bash scripts/install-deps.sh test
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTREVALIND_SANITIZE=ON -DTREVALIND_TESTS=ON -DTREVALIND_WERROR=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

check:
	@bash scripts/install-deps.sh test
	@python3 scripts/check-rules.py

fuzz:
	@bash scripts/install-deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREVALIND_FUZZ=ON -DTREVALIND_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@bash tests/fuzz/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench:
	@bash scripts/install-deps.sh bench
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTREVALIND_TESTS=OFF -DTREVALIND_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@bash bench/run-all.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD)

# Screenshots of the study browser and the ECG window under Xvfb, for a person to look at.
screenshots: build
	@bash scripts/install-deps.sh screenshots
	@bash tools/screenshots.sh $(BUILD)
