#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh release    optimised build in build/release
#   scripts/build.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer in build/sanitize
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-release}
case "$kind" in
    release)  flags=(-DCMAKE_BUILD_TYPE=Release -DRO_WERROR=ON) ;;
    sanitize) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRO_WERROR=ON -DRO_SANITIZE=ON -DRO_BUILD_BENCHMARKS=OFF) ;;
    *) echo "usage: $0 release|sanitize" >&2; exit 2 ;;
esac
cmake -S . -B "build/$kind" "${flags[@]}" >/dev/null
cmake --build "build/$kind" -j "$(nproc)"
