#!/usr/bin/env bash
# Configures and builds one build tree (Ninja).
#   scripts/build.sh release [target...]         optimised build in build/release (g++):
#                                                programs, tests and benchmarks (or only
#                                                the targets named)
#   scripts/build.sh clang-sanitize [target...]  clang at -O1 in build/clang-sanitize: the
#                                                programs and their libraries with
#                                                AddressSanitizer, UndefinedBehaviorSanitizer
#                                                and libFuzzer's coverage, the tests linked
#                                                against them, the fuzz targets
#   scripts/build.sh sanitize [target...]        AddressSanitizer + UndefinedBehaviorSanitizer
#                                                on everything, tests included, in
#                                                build/sanitize (g++): programs and tests
#   scripts/build.sh <kind> --configure          configures the tree and builds nothing
# scripts/test.sh builds and tests release and clang-sanitize; sanitize is for use by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-release}
[ $# -gt 0 ] && shift
compilers=()
case "$kind" in
    release)  flags=(-DCMAKE_BUILD_TYPE=Release -DRO_WERROR=ON -DBUILD_TESTING=ON
                     -DRO_BUILD_BENCHMARKS=ON) ;;
    clang-sanitize)
              compilers=(CC=clang CXX=clang++)
              flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g -DNDEBUG"
                     -DRO_WERROR=ON -DRO_BUILD_FUZZERS=ON -DBUILD_TESTING=ON
                     -DRO_BUILD_BENCHMARKS=OFF -DRO_BUILD_PYTHON=OFF) ;;
    sanitize) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRO_WERROR=ON -DRO_SANITIZE=ON
                     -DBUILD_TESTING=ON -DRO_BUILD_BENCHMARKS=OFF -DRO_BUILD_PYTHON=OFF) ;;
    *) echo "usage: $0 release|clang-sanitize|sanitize [target...]" >&2; exit 2 ;;
esac
env "${compilers[@]}" cmake -S . -B "build/$kind" -G Ninja "${flags[@]}" >/dev/null
[ "${1:-}" = --configure ] && exit 0
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "build/$kind" -j "$(nproc)" "${targets[@]}"
