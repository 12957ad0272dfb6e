#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the build, the tests, the benchmarks and
# the fuzzers need and this machine lacks. Uses sudo only when not run as root.
set -euo pipefail

packages=(
    g++ cmake make            # compiler and build system
    libgtest-dev libgmock-dev # unit and end-to-end tests
    libbenchmark-dev          # benchmark programs
    libcminpack-dev           # MINPACK, the independent reference for the solver tests
    libeigen3-dev             # fixed-size linear algebra of the two-view geometry library
    clang libclang-rt-14-dev  # libFuzzer targets and their sanitizer runtimes
    dpkg-dev file man-db groff-base # packaging checks and manual page rendering
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
