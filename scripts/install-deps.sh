#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the build, the tests, the benchmarks and
# the fuzzers need and this machine lacks. Uses sudo only when not run as root.
#   scripts/install-deps.sh --list    prints the packages, one a line, and installs nothing
set -euo pipefail

packages=(
    g++ cmake make            # compiler and build system
    ninja-build               # the build system of scripts/build.sh's trees; its record of
                              # each object's includes tells scripts/lint.sh what a change affects
    jq                        # scripts/lint.sh: reading the compile database
    libgtest-dev libgmock-dev # unit and end-to-end tests
    nlohmann-json3-dev        # reading the solver's reference solves in the tests
    libbenchmark-dev          # benchmark programs
    libcminpack-dev           # MINPACK, the independent reference for the solver tests
    clang libclang-rt-14-dev  # libFuzzer targets and their sanitizer runtimes
    dpkg-dev file man-db groff-base # packaging checks and manual page rendering
    libsqlite3-dev            # the block database of orient-block
    sqlite3                   # the sqlite3 shell: the tests read the block database as a user would
    librsvg2-bin              # rsvg-convert: the tests render orient's SVG plot
    libeigen3-dev             # matrices and linear algebra of orient's estimation and two_view
    libcli11-dev              # command lines of orient and siftkey (header only)
    libboost-math-dev         # chi-square distribution of orient's sigma0 test (header only)
    nlohmann-json3-dev        # orient's JSON output (and reading it back in the tests)
    libopencv-features2d-dev  # siftkey: OpenCV's SIFT detector (only siftkey links OpenCV)
    libopencv-imgcodecs-dev   # siftkey: JPEG, PNG and TIFF decoding
    libopencv-imgproc-dev     # siftkey: colour to grey conversion
    libexif-dev pkg-config    # siftkey --camera: the focal length and sensor resolution in EXIF
    python3-dev pybind11-dev  # the Python module relative_orientation, for Debian's /usr/bin/python3
    python3-numpy             # its arrays
    python3-distributed python3-dask # blocks on a Dask cluster (python3 -m relative_orientation block)
    python3-pytest            # the Python module's tests
    lintian                   # checking the Debian package
    clang-format clang-tidy   # the style and the static checks of the test command
)

if [ "${1:-}" = --list ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

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
