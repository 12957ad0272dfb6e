#!/usr/bin/env bash
# Sets up a fresh machine, builds `relative` alone, and runs it on the bundled example pair.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/example -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/example -j "$(nproc)" --target relative
build/example/relative/relative data/example/img1.key data/example/img2.key
