# For developers: the README's two commands are ./run.sh and ./test.sh, which
# need nothing but bash; these targets call the same scripts.

BUILD ?= build

.PHONY: all deps dev-deps build run test test-only unit deb bench demo install clean

all: build

deps:
	./scripts/install-deps.sh

# The tools for looking at the program on a virtual display; no test needs them.
dev-deps:
	./scripts/install-deps.sh --dev

build: deps
	./scripts/build.sh $(BUILD)

run:
	./run.sh

test:
	./test.sh

# Every test on the trees as they are, without installing or building first.
test-only:
	./scripts/run-tests.sh $(BUILD)

# The inner loop: the tests labelled `unit` (no window system), in seconds,
# on the tree as it is built, inside the private network namespace.
unit:
	cmake --build $(BUILD)
	QT_QPA_PLATFORM=offscreen ./scripts/in-netns.sh ctest --test-dir $(BUILD) -L unit -j $$(nproc)

deb: build
	./scripts/make-deb.sh $(BUILD)

bench: build
	./scripts/run-bench.sh $(BUILD)

demo: build
	./scripts/demo.sh $(BUILD)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-release
