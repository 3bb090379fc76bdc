#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build, the tests and the window need, when any is missing;
# with the argument `windows`, those of scripts/build-windows-deps.sh instead.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6 libcurl4-openssl-dev ca-certificates
    clang libclang-rt-14-dev clang-format
    xvfb xauth imagemagick fonts-dejavu-core fonts-liberation
    dpkg-dev file
    lintian appstream desktop-file-utils bash-completion man-db strace
    g++-mingw-w64-x86-64-posix wine64 googletest zip unzip xdotool librsvg2-bin icoutils nsis xz-utils
    # Benchmarks only: /usr/bin/time for bench/memory-shapes.sh, python-stdnum as the peer of
    # bench/cli-throughput.sh. No test needs either.
    time python3-stdnum
)

# `install-deps.sh windows`: what scripts/build-windows-deps.sh needs to build Qt and libcurl for Windows
# from Debian's source packages (the installed qt6-base-dev and libcurl4-openssl-dev name the versions;
# the Linux Qt's moc, rcc and uic are the host tools; dpkg-source unpacks; Qt's syncqt.pl is Perl).
if [ "${1:-}" = windows ]; then
    packages=(
        cmake ninja-build dpkg-dev xz-utils perl
        qt6-base-dev qt6-base-dev-tools libcurl4-openssl-dev
        g++-mingw-w64-x86-64-posix
    )
fi

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
