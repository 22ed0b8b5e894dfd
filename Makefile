# The two commands of the README: `make run` and `make test`.
# Both install missing Debian packages first, then build.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)

.PHONY: all deps build run test test-only bench demo install clean

all: build

deps:
	./scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./scripts/run-app.sh $(BUILD)

test: build
	./scripts/run-tests.sh $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

bench: build
	./scripts/run-bench.sh $(BUILD)

demo: build
	./scripts/demo.sh $(BUILD)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
