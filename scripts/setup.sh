#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and benchmark.
# Idempotent: checks each package with dpkg first and runs apt-get only when something is
# missing. Works as root on a fresh Debian 12 machine (uses sudo when not root).
set -euo pipefail

packages=(
    # toolchain and build
    g++ cmake ninja-build pkg-config git python3
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    # benchmark-only reference FFT (never linked into the product)
    libfftw3-dev
    # formatting
    clang-format
    # live audio capture and its test bed: the capture library, a private sound server
    pulseaudio pulseaudio-utils libasound2-plugins portaudio19-dev
    # fuzzing (the fuzz preset): the compiler and its libFuzzer/sanitizer runtimes
    clang libclang-rt-14-dev
    # the displays and the window: Qt 6 widgets and printing, the fonts the displays name
    # ("Arial" resolves to Liberation Sans), JPEG export, a virtual X server for smoke tests
    qt6-base-dev libgl-dev fonts-liberation libjpeg-dev xvfb xauth
    # a compiler cache: the Qt targets make rebuilds in three presets expensive
    ccache
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg -s "$package" >/dev/null 2>&1; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
