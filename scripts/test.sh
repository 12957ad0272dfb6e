#!/usr/bin/env bash
# Sets up a fresh machine, then builds and runs the whole test suite twice: in the normal
# build and in the sanitizer build; checks the sources with clang-format and clang-tidy;
# then gives every fuzz target a short run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
# A sanitizer report must never pass for one of the programs' own failure statuses:
# abort (a signal) on the first report, leaks included.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:print_stacktrace=1}
for kind in release sanitize; do
    echo "== $kind build =="
    scripts/build.sh "$kind"
    ctest --test-dir "build/$kind" --output-on-failure -j "$jobs"
done
echo "== clang-format and clang-tidy =="
scripts/lint.sh build/release
echo "== fuzz targets, 45 s each =="
scripts/fuzz.sh 45
