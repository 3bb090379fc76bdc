#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds, once per machine, static Release libraries of Qt 6 (Core, Gui, Widgets, Test, the windows and
# offscreen platform plugins, the Windows styles) and libcurl (Schannel) for 64-bit Windows, cross-compiled
# with Debian's MinGW-w64 (cmake/MinGW-w64.cmake) from Debian's own source packages of exactly the
# installed qt6-base-dev and libcurl4-openssl-dev.
#
#   scripts/build-windows-deps.sh                 build what is missing; prints the folder as the last line
#   scripts/build-windows-deps.sh --print-prefix  print the folder only, build nothing
#
# The folder, outside the clone, is named by the two versions and a hash of this script and the toolchain
# file:  ${XDG_CACHE_HOME:-~/.cache}/quillon/windows-deps-<qt>-<curl>-<recipe>  (QUILLON_WINDOWS_DEPS
# overrides it). Inside it, install/ is the CMake prefix of both libraries, and install/lib/cmake/Qt6/
# qt.toolchain.cmake the toolchain file for projects using them. A killed run resumes where it stopped;
# the file `complete` is written last, and when present the script only prints the folder. A second run
# started meanwhile waits for the first (flock on <folder>.lock). Heavy steps run under `nice -n 19` with
# QUILLON_WINDOWS_DEPS_JOBS parallel jobs (2 by default). Only the folder goes to stdout; the build's
# output goes to stderr.
set -euo pipefail

usage() {
    sed -n '3,18s/^# \{0,1\}//p' "$0"
}

print_only=0
for arg in "$@"; do
    case "$arg" in
        --print-prefix) print_only=1 ;;
        -h | --help)
            usage
            exit 0
            ;;
        *)
            echo "error: unknown argument '$arg' (see --help)" >&2
            exit 2
            ;;
    esac
done

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script="$repo/scripts/$(basename "${BASH_SOURCE[0]}")"
toolchain_src="$repo/cmake/MinGW-w64.cmake"
jobs=${QUILLON_WINDOWS_DEPS_JOBS:-2}

# Everything but the folder goes to stderr, so that `dir=$(scripts/build-windows-deps.sh)` works.
exec 3>&1 1>&2

if [ "$print_only" -eq 0 ]; then
    "$repo/scripts/install-deps.sh" windows
fi

# The Debian source package and version behind an installed binary package.
source_of() {
    local out
    if ! out=$(dpkg-query -W -f='${source:Package} ${source:Version} ${Status}' "$1" 2>/dev/null) ||
        [[ "$out" != *"install ok installed" ]]; then
        echo "error: $1 is not installed (scripts/install-deps.sh windows installs it)" >&2
        exit 1
    fi
    echo "${out% install ok installed}"
}
qt_source=$(source_of qt6-base-dev)
curl_source=$(source_of libcurl4-openssl-dev)
read -r qt_package qt_version <<<"$qt_source"
read -r curl_package curl_version <<<"$curl_source"

# Versions in a folder name: an epoch's colon and a tilde become underscores.
name_part() { printf '%s' "$1" | tr -c 'A-Za-z0-9.+_-' '_'; }
recipe=$(cat "$script" "$toolchain_src" | sha256sum | cut -c1-12)
cache=${QUILLON_WINDOWS_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/quillon/windows-deps-$(name_part "$qt_version")-$(name_part "$curl_version")-$recipe}
cache=$(realpath -m "$cache")

finish() {
    echo "$cache" >&3
    exit 0
}

if [ "$print_only" -eq 1 ] || [ -f "$cache/complete" ]; then
    finish
fi

mkdir -p "$(dirname "$cache")"
exec 9>"$cache.lock"
if ! flock -n 9; then
    echo "Another build of $cache is running; waiting for it to end."
    flock 9
fi
if [ -f "$cache/complete" ]; then
    finish
fi

mkdir -p "$cache/stamps"
install="$cache/install"
times="$cache/build-times.txt"

stamped() { [ -f "$cache/stamps/$1" ]; }
stamp() { touch "$cache/stamps/$1"; }
# Runs a step and records how long it took.
timed() {
    local label=$1 start=$SECONDS
    shift
    echo "== $label"
    "$@"
    echo "$label: $((SECONDS - start)) s" | tee -a "$times"
}

# --- The toolchain, copied so that the installed qt.toolchain.cmake keeps working without the clone.
toolchain="$cache/toolchain/MinGW-w64.cmake"
if ! stamped toolchain; then
    mkdir -p "$cache/toolchain"
    cp "$toolchain_src" "$repo/cmake/wine-run.sh" "$cache/toolchain/"
    stamp toolchain
fi

# --- Sources: apt-get source with an apt configuration of its own (sources, lists and cache in
# $cache/apt), made of the machine's sources turned into deb-src entries; the system's keyrings are
# used through their Signed-By fields. Nothing in /etc/apt is written.
apt_dir="$cache/apt"
apt_conf="$apt_dir/apt.conf"

# shellcheck disable=SC2317 # called by fetch_sources, run through timed
write_apt_config() {
    rm -rf "$apt_dir"
    mkdir -p "$apt_dir/sources.list.d" "$apt_dir/preferences.d" "$apt_dir/state/lists/partial" \
        "$apt_dir/cache/archives/partial"
    local file n=0
    # One-line format: deb lines become deb-src lines.
    : >"$apt_dir/sources.list"
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed -n -E 's/^[[:space:]]*deb(-src)?([[:space:]]|\[)/deb-src\2/p' "$file" >>"$apt_dir/sources.list"
    done
    sort -u -o "$apt_dir/sources.list" "$apt_dir/sources.list"
    # deb822 format: a stanza of type deb becomes one of type deb-src.
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        n=$((n + 1))
        awk 'tolower($1) == "types:" { if ($0 ~ /[[:space:]]deb(-src)?([[:space:]]|$)/) $0 = "Types: deb-src" } { print }' \
            "$file" >"$apt_dir/sources.list.d/$n-$(basename "$file")"
    done
    if ! grep -qs deb-src "$apt_dir/sources.list" "$apt_dir/sources.list.d"/*; then
        echo "error: no apt sources found in /etc/apt to derive deb-src entries from" >&2
        exit 1
    fi
    # The system's hooks run after an update (cache clean-ups, notifications) are not run for this one.
    cat >"$apt_conf" <<EOF
Dir::Etc::SourceList "$apt_dir/sources.list";
Dir::Etc::SourceParts "$apt_dir/sources.list.d";
Dir::Etc::Preferences "$apt_dir/preferences";
Dir::Etc::PreferencesParts "$apt_dir/preferences.d";
Dir::State "$apt_dir/state";
Dir::State::status "/var/lib/dpkg/status";
Dir::Cache "$apt_dir/cache";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Acquire::Languages "none";
#clear APT::Update::Pre-Invoke;
#clear APT::Update::Post-Invoke;
#clear APT::Update::Post-Invoke-Success;
EOF
    # As root, apt downloads as the user _apt, which cannot enter a folder in root's home and falls back
    # to root with a warning; say so at once.
    if [ "$(id -u)" -eq 0 ]; then
        echo 'APT::Sandbox::User "root";' >>"$apt_conf"
    fi
}

# shellcheck disable=SC2317 # run through timed
fetch_sources() {
    write_apt_config
    apt-get -c "$apt_conf" -q update
    rm -rf "$cache/src"
    mkdir -p "$cache/src"
    (cd "$cache/src" && apt-get -c "$apt_conf" -q source --only-source \
        "$qt_package=$qt_version" "$curl_package=$curl_version")
}

if ! stamped sources; then
    timed "apt source: $qt_package $qt_version, $curl_package $curl_version" fetch_sources
    stamp sources
fi

# The unpacked source folder of a package: the one whose debian/changelog names it.
source_dir() {
    local dir
    for dir in "$cache/src/$1"-*/; do
        if [ -f "$dir/debian/changelog" ] && head -n1 "$dir/debian/changelog" | grep -q "^$1 "; then
            echo "${dir%/}"
            return
        fi
    done
    echo "error: no unpacked source of $1 in $cache/src" >&2
    exit 1
}
qt_src=$(source_dir "$qt_package")
curl_src=$(source_dir "$curl_package")

# --- Qt: qtbase, static, Release. Host tools (moc, rcc, uic...) are the installed Linux Qt's.
# Debian's source has no wintab headers, so tablet events are off; Direct2D stays on (the windows
# platform plugin links only with it). Third-party libraries are Qt's bundled copies (zlib, PCRE2,
# libpng, HarfBuzz, FreeType, double-conversion): Debian builds almost none of them for MinGW.
qt_build="$cache/build/qtbase"
qt_options=(
    -G Ninja
    -DCMAKE_TOOLCHAIN_FILE="$toolchain"
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$install"
    -DBUILD_SHARED_LIBS=OFF
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF
    -DQT_BUILD_MANUAL_TESTS=OFF
    -DFEATURE_gui=ON
    -DFEATURE_widgets=ON
    -DFEATURE_testlib=ON
    -DFEATURE_accessibility=ON
    -DFEATURE_direct2d=ON
    -DFEATURE_style_windows=ON
    -DFEATURE_style_windowsvista=ON
    -DFEATURE_tabletevent=OFF
    -DFEATURE_sql=OFF
    -DFEATURE_dbus=OFF
    -DINPUT_opengl=no
    -DFEATURE_opengl=OFF
    -DFEATURE_vulkan=OFF
    -DFEATURE_network=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_icu=OFF
    -DFEATURE_jpeg=OFF
    -DFEATURE_freetype=ON
    -DFEATURE_harfbuzz=ON
    -DFEATURE_png=ON
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_system_libb2=OFF
    -DFEATURE_system_textmarkdownreader=OFF
    -DFEATURE_fontconfig=OFF
)

if ! stamped qt-configure; then
    mkdir -p "$qt_build"
    timed "Qt configure" nice -n 19 cmake -S "$qt_src" -B "$qt_build" "${qt_options[@]}"
    stamp qt-configure
fi
if ! stamped qt-install; then
    timed "Qt build" nice -n 19 cmake --build "$qt_build" --parallel "$jobs"
    timed "Qt install" nice -n 19 cmake --install "$qt_build"
    stamp qt-install
fi

# --- libcurl: static, HTTP only, TLS through Windows' own Schannel; no other TLS or compression library.
# No CA bundle or path: curl would otherwise find this machine's /etc/ssl/certs and build its path in,
# and Schannel then checks against that file instead of Windows' certificate store.
curl_build="$cache/build/curl"
curl_options=(
    -G Ninja
    -DCMAKE_TOOLCHAIN_FILE="$toolchain"
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$install"
    -DBUILD_SHARED_LIBS=OFF
    -DBUILD_CURL_EXE=OFF
    -DBUILD_TESTING=OFF
    -DCURL_USE_SCHANNEL=ON
    -DCURL_CA_BUNDLE=none
    -DCURL_CA_PATH=none
    -DCURL_USE_OPENSSL=OFF
    -DCURL_USE_MBEDTLS=OFF
    -DCURL_USE_BEARSSL=OFF
    -DCURL_USE_WOLFSSL=OFF
    -DCURL_USE_NSS=OFF
    -DCURL_USE_LIBSSH2=OFF
    -DCURL_USE_LIBSSH=OFF
    -DCURL_USE_GSSAPI=OFF
    -DCURL_ZLIB=OFF
    -DCURL_BROTLI=OFF
    -DCURL_ZSTD=OFF
    -DUSE_NGHTTP2=OFF
    -DUSE_NGTCP2=OFF
    -DUSE_QUICHE=OFF
    -DUSE_MSH3=OFF
    -DUSE_LIBIDN2=OFF
    -DUSE_WIN32_IDN=OFF
    -DENABLE_ARES=OFF
    -DHTTP_ONLY=ON
    -DCURL_DISABLE_LDAP=ON
    -DCURL_DISABLE_LDAPS=ON
    -DUSE_WIN32_LDAP=OFF
    -DCURL_USE_LIBPSL=OFF
    -DENABLE_MANUAL=OFF
    -DPICKY_COMPILER=OFF
)

# shellcheck disable=SC2317 # run through timed
build_curl() {
    mkdir -p "$curl_build"
    nice -n 19 cmake -S "$curl_src" -B "$curl_build" "${curl_options[@]}"
    nice -n 19 cmake --build "$curl_build" --parallel "$jobs"
    nice -n 19 cmake --install "$curl_build"
}
if ! stamped curl-install; then
    timed "curl configure, build and install" build_curl
    stamp curl-install
fi

du -sh "$install" | sed 's/^/installed: /' | tee -a "$times"
touch "$cache/complete"
finish
