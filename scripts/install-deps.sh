#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that are missing for one purpose:
#   install-deps.sh run      building and running the window on Linux (what `make run` needs)
#   install-deps.sh          that, and everything the tests, the Windows build, the packages and the
#                            benchmarks need (`make test`, `make check`, `make windows*`, `make package`)
#   install-deps.sh windows  what scripts/build-windows-deps.sh needs
set -euo pipefail

# The build of the whole tree (programs, tests and benchmarks are configured together, though
# `make run` builds only the window) and the window. python3 runs scripts/check-layers.py, a test
# the configure step sets up.
run_packages=(
    build-essential cmake ninja-build pkg-config python3
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6 libcurl4-openssl-dev ca-certificates
    fonts-dejavu-core fonts-liberation
)
test_packages=(
    clang libclang-rt-14-dev clang-format
    xvfb xauth imagemagick
    dpkg-dev file
    lintian appstream desktop-file-utils bash-completion man-db strace
    g++-mingw-w64-x86-64-posix wine64 googletest zip unzip xdotool librsvg2-bin icoutils nsis xz-utils
    # Benchmarks only: /usr/bin/time for bench/memory-shapes.sh, python-stdnum as the peer of
    # bench/cli-throughput.sh, hyperfine for the whole-process comparisons of docs/performance.md.
    # No test needs them.
    time python3-stdnum hyperfine
)

case "${1:-}" in
run) packages=("${run_packages[@]}") ;;
"") packages=("${run_packages[@]}" "${test_packages[@]}") ;;
# From Debian's source packages (the installed qt6-base-dev and libcurl4-openssl-dev name the versions;
# the Linux Qt's moc, rcc and uic are the host tools; dpkg-source unpacks; Qt's syncqt.pl is Perl).
windows)
    packages=(
        cmake ninja-build dpkg-dev xz-utils perl
        qt6-base-dev qt6-base-dev-tools libcurl4-openssl-dev
        g++-mingw-w64-x86-64-posix
    )
    ;;
*)
    echo "usage: install-deps.sh [run|windows]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "error: missing packages (${missing[*]}) and neither root nor sudo is available" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
