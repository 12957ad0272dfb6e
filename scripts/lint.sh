#!/usr/bin/env bash
# The tools on the project's own sources:
#   clang-format --dry-run -Werror    every tracked .cpp and .h file (.clang-format)
#   clang-tidy                        the program sources (common/, io/, keypoints/, camera/,
#                                     relative/, levmar/, converter/, two_view/,
#                                     robust_orientation/, orient/, siftkey/), with the
#                                     settings of .clang-tidy and the compile database of
#                                     a build tree (default build/release, made by
#                                     scripts/build.sh)
#   scripts/lint.sh [build-tree]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

echo "== clang-format"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

echo "== clang-tidy"
if [ ! -f "$build/compile_commands.json" ]; then
    echo "no compile database in $build: run scripts/build.sh first" >&2
    exit 2
fi
# One process per file, two at a time; warnings of the checks in .clang-tidy are errors.
git ls-files -z 'common/*.cpp' 'io/*.cpp' 'keypoints/*.cpp' 'camera/*.cpp' 'relative/*.cpp' 'levmar/*.cpp' 'converter/*.cpp' 'two_view/*.cpp' \
    'robust_orientation/*.cpp' 'orient/*.cpp' 'siftkey/*.cpp' |
    xargs -0 -n 1 -P "$(nproc)" clang-tidy --quiet -p "$build" 2>/dev/null
echo "lint: clean"
