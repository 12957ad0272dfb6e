#!/usr/bin/env bash
# Sets up a fresh machine, then builds and runs the whole test suite twice: in the normal
# build and in the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
for kind in release sanitize; do
    echo "== $kind build =="
    scripts/build.sh "$kind"
    ctest --test-dir "build/$kind" --output-on-failure -j "$jobs"
done
