#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing.
# Sourced by the other scripts; uses apt-get as root, sudo otherwise.
set -euo pipefail

PACKAGES=(cmake ninja-build g++ pkg-config libgl-dev
          qt6-base-dev qt6-serialport-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools
          libgtest-dev libbenchmark-dev librsvg2-bin locales
          libmosquitto-dev mosquitto mosquitto-clients # sensorctl's MQTT client; a broker for its tests
          libtomlplusplus-dev libsystemd-dev # the gateway's configuration file and its service notifications
          zlib1g-dev # the checksums of the gateway's journal records
          libmodbus-dev mbpoll # independent Modbus clients for the gateway's tests and by hand
          libprotobuf-c-dev protobuf-c-compiler # the gateway's Sparkplug B payloads
          libprotobuf-dev protobuf-compiler # an independent Sparkplug decoder for the gateway's tests
          ccache)
# scripts/package: the Debian package, its checks and the desktop entries' validator.
PACKAGING_PACKAGES=(dpkg-dev file fakeroot lintian desktop-file-utils)
# The fuzz targets: clang with libFuzzer and the sanitizer run-times, and the
# symbolizer that turns a finding's addresses into file and line.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev llvm-14)

install_missing_packages() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
    use_compiler_cache
}

# Build directories made from now on compile through ccache, so that a fresh clone
# on a machine that built the project before (CI, a second checkout) reuses those
# compilations: paths under the checkout count relative to it, wherever it lies.
use_compiler_cache() {
    command -v ccache >/dev/null || return 0
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
}

# The tests run what reads numbers in a German desktop locale as well; the C
# library knows that locale only once it is generated.
ensure_test_locale() {
    locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$' && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Generating the locale de_DE.UTF-8 for the tests"
    $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
}
