# The two everyday commands: `make run` starts Pyxet in the simulated lab, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)/bin

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	@bash scripts/bench.sh $(BUILD)/bin

clean:
	rm -rf $(BUILD)
