# The two commands: `make run` starts Quillon, `make test` runs every test. Both install what
# is missing (scripts/install-deps.sh), configure and build incrementally.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
QUILLON_WERROR ?= OFF
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
		-DQUILLON_WERROR=$(QUILLON_WERROR) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR)

run: build
	@./scripts/run-window.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j2 --timeout 600

bench: build
	@$(BUILD_DIR)/bench/quillon_bench

clean:
	rm -rf $(BUILD_DIR)
