#!/usr/bin/env bash
# Sets up a fresh machine, builds, and runs `relative` on the bundled example pair.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release
build/release/orientation/relative data/example/img1.key data/example/img2.key
