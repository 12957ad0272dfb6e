#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh release [target...]   optimised build in build/release: programs,
#                                          tests and benchmarks (or only the targets named)
#   scripts/build.sh sanitize [target...]  AddressSanitizer + UndefinedBehaviorSanitizer in
#                                          build/sanitize: programs and tests
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-release}
[ $# -gt 0 ] && shift
case "$kind" in
    release)  flags=(-DCMAKE_BUILD_TYPE=Release -DRO_WERROR=ON -DBUILD_TESTING=ON
                     -DRO_BUILD_BENCHMARKS=ON) ;;
    sanitize) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRO_WERROR=ON -DRO_SANITIZE=ON
                     -DBUILD_TESTING=ON -DRO_BUILD_BENCHMARKS=OFF) ;;
    *) echo "usage: $0 release|sanitize [target...]" >&2; exit 2 ;;
esac
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake -S . -B "build/$kind" "${flags[@]}" >/dev/null
cmake --build "build/$kind" -j "$(nproc)" "${targets[@]}"
