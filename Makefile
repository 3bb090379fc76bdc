# SPDX-License-Identifier: MIT
# `make run` builds only the window program (tacdex.csv is copied beside it) and starts it; `make
# check` builds everything and runs the plain suite (about a minute when built); `make test` runs
# everything as CI does: the format check, the plain suite, the Windows build under Wine, the
# sanitized suite and the fuzz targets. Each installs what is missing (scripts/install-deps.sh),
# configures and builds incrementally.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
QUILLON_WERROR ?= OFF
CMAKE_FLAGS ?=
# `make test` also runs the suite in a sanitized build and each fuzz target for a short time.
ASAN_BUILD_DIR ?= build-asan
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 300
# `make test` fails on files that clang-format would change (FORMAT_CHECK_IN_TEST=0 skips the check).
FORMAT_CHECK_IN_TEST ?= 1
FORMAT_DIRS := src tests bench fuzz
# The Windows build (MinGW-w64, tests under Wine): the core, quillon-cli and the download zip.
WINDOWS_BUILD_DIR ?= build-windows

.PHONY: all deps deps-run configure build run check test bench clean test-asan test-fuzz fuzz fuzzers package format format-check \
	windows windows-zip windows-installer test-windows

all: build

# What building and running the window needs; `deps` adds what the tests, the Windows build, the
# packages and the benchmarks need.
deps-run:
	@./scripts/install-deps.sh run

deps:
	@./scripts/install-deps.sh

configure: deps-run
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
		-DQUILLON_WERROR=$(QUILLON_WERROR) $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD_DIR)

# The window program alone: no tests, fuzz replays or benchmarks. Configured without the window
# (CMAKE_FLAGS=-DQUILLON_BUILD_WINDOW=OFF), quillon-cli, which scripts/run-window.sh then runs.
run: configure
	@if ninja -C $(BUILD_DIR) -t query quillon >/dev/null 2>&1; then target=quillon; else target=quillon-cli; fi; \
		cmake --build $(BUILD_DIR) --target $$target
	@./scripts/run-window.sh $(BUILD_DIR)

# The plain suite only: no format check, Windows, sanitizer or fuzz builds.
check: deps build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j2 --timeout 600

test: deps build
	@if [ "$(FORMAT_CHECK_IN_TEST)" = 1 ]; then $(MAKE) --no-print-directory format-check; fi
	@cd $(BUILD_DIR) && ctest --output-on-failure -j2 --timeout 600
	@$(MAKE) --no-print-directory test-windows test-asan test-fuzz

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DQUILLON_WERROR=$(QUILLON_WERROR) \
		-DQUILLON_SANITIZE=ON -DQUILLON_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	@cmake --build $(ASAN_BUILD_DIR)
	@cd $(ASAN_BUILD_DIR) && ctest --output-on-failure -j2 --timeout 600

# The libFuzzer targets of fuzz/, built with clang++.
fuzzers: deps
	@cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCMAKE_CXX_COMPILER=clang++ \
		-DQUILLON_WERROR=$(QUILLON_WERROR) -DQUILLON_BUILD_FUZZ=ON -DQUILLON_BUILD_WINDOW=OFF \
		-DQUILLON_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	@cmake --build $(FUZZ_BUILD_DIR) --target quillon_fuzzers

# Each fuzz target for a short smoke time (30 s); any finding fails.
test-fuzz: fuzzers
	@cd $(FUZZ_BUILD_DIR) && ctest -L fuzz --output-on-failure -j2

# Each fuzz target for FUZZ_SECONDS, one after another.
fuzz: fuzzers
	@set -e; for fuzzer in $(FUZZ_BUILD_DIR)/fuzz/fuzz_*; do \
		[ -x "$$fuzzer" ] || continue; \
		name=$$(basename $$fuzzer); name=$${name#fuzz_}; \
		echo "== $$name: $(FUZZ_SECONDS) s"; \
		fuzz/run-fuzzer.sh $$fuzzer $(FUZZ_SECONDS) $(FUZZ_BUILD_DIR)/fuzz/work/$$name fuzz/corpus/$$name; \
	done

# Quillon.exe, quillon-cli.exe and the Windows tests, cross-compiled against the static Qt and
# libcurl of scripts/build-windows-deps.sh (built on first use, 20 to 30 minutes); no benchmarks or
# fuzz targets. A build folder configured with another toolchain is configured afresh.
windows: deps
	@set -e; prefix=$$(./scripts/build-windows-deps.sh | tail -n 1); \
	toolchain=$$prefix/install/lib/cmake/Qt6/qt.toolchain.cmake; \
	if [ -f $(WINDOWS_BUILD_DIR)/CMakeCache.txt ] && \
		! grep -qF "CMAKE_TOOLCHAIN_FILE:FILEPATH=$$toolchain" $(WINDOWS_BUILD_DIR)/CMakeCache.txt; then \
		rm -rf $(WINDOWS_BUILD_DIR); \
	fi; \
	cmake -S . -B $(WINDOWS_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_TOOLCHAIN_FILE=$$toolchain -DQUILLON_WERROR=$(QUILLON_WERROR) \
		-DQUILLON_LINUX_CLI=$(abspath $(BUILD_DIR))/src/cli/quillon-cli
	@cmake --build $(WINDOWS_BUILD_DIR) --target all windows_zip windows_installer

# $(WINDOWS_BUILD_DIR)/quillon-<version>-win64-setup.exe (NSIS) and quillon-<version>-source.tar.xz.
windows-installer: windows
	@ls $(WINDOWS_BUILD_DIR)/quillon-*-win64-setup.exe $(WINDOWS_BUILD_DIR)/quillon-*-source.tar.xz

# $(WINDOWS_BUILD_DIR)/quillon-<version>-win64.zip: Quillon.exe, quillon-cli.exe, tacdex.csv, licences, README.
windows-zip: windows
	@ls $(WINDOWS_BUILD_DIR)/quillon-*-win64.zip

# The Windows tests under Wine, and the Windows build's output compared with the Linux build's.
test-windows: build windows
	@cd $(WINDOWS_BUILD_DIR) && ctest --output-on-failure -j2 --timeout 900

# Qt 6 and libcurl for Windows: static libraries cross-built once per machine from Debian's source
# packages into a folder outside the clone, whose path is printed last (scripts/build-windows-deps.sh --help).
.PHONY: windows-deps
windows-deps:
	@./scripts/build-windows-deps.sh

# The Debian package, in $(BUILD_DIR).
package: deps build
	@cd $(BUILD_DIR) && cpack -G DEB

format: deps
	@find $(FORMAT_DIRS) -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format -i

format-check: deps
	@find $(FORMAT_DIRS) -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run --Werror

bench: deps build
	@$(BUILD_DIR)/bench/quillon_bench

clean:
	rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR) $(FUZZ_BUILD_DIR) $(WINDOWS_BUILD_DIR)
