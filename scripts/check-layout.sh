#!/usr/bin/env bash
# The layout rule: a library includes no program's folder, and a program no other
# program's folder (docs/style.md). Every include names its folder, so the rule reads off
# the include lines. Tests, benchmarks, fuzz targets, tools and testing/ may include
# anything. Exit status 1, with the offending lines, when the rule is broken.
set -euo pipefail
cd "$(dirname "$0")/.."

programs=(relative orient orient_block siftkey converter)
libraries=(common command_line io image keypoints camera levmar two_view robust_orientation pair_run
           block)
status=0

# check <folder> <forbidden folder...>
check() {
    local folder=$1
    shift
    local pattern
    pattern=$(printf '|%s' "$@")
    pattern="^#include \"(${pattern:1})/"
    local found
    found=$(git ls-files -z "$folder/*.cpp" "$folder/*.h" | xargs -0 -r grep -nE "$pattern" || true)
    if [ -n "$found" ]; then
        echo "$found" >&2
        echo "layout: $folder/ includes a program's folder (above)" >&2
        status=1
    fi
}

for library in "${libraries[@]}"; do
    check "$library" "${programs[@]}"
done
for program in "${programs[@]}"; do
    others=()
    for other in "${programs[@]}"; do [ "$other" = "$program" ] || others+=("$other"); done
    check "$program" "${others[@]}"
done
# An include without a folder would slip past the rule.
unnamed=$(git ls-files -z '*.cpp' '*.h' | xargs -0 -r grep -nE '^#include "[^/"]+"' || true)
if [ -n "$unnamed" ]; then
    echo "$unnamed" >&2
    echo "layout: includes above do not name their folder" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "layout: no library or program includes a program's folder"
exit "$status"
