#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs each of them for a fixed time.
#   scripts/fuzz.sh [seconds-per-target] [target...]
# Targets: key_reader, featsheet, matcher, match_report, camera_file, estimation,
# image_header, siftkey_options (fuzz/CMakeLists.txt).
# Default: 45 seconds for every target. Each target first replays its saved findings
# (fuzz/regressions/<target>/), then fuzzes a scratch copy of the seed corpus of its input
# format (fuzz/corpus/<format>/), so the committed corpus never grows by itself. Fails when a
# target finds a crash, a leak, a timeout or an out-of-memory input; the input is left in
# the scratch directory, whose path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-45}
shift || true
build=build/fuzz

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S . -B "$build" -DRO_BUILD_FUZZERS=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# targets.txt: one "name format" line per target.
declare -A format
while read -r name fmt; do format[$name]=$fmt; done < "$build/fuzz/targets.txt"
if [ $# -gt 0 ]; then
    targets=("$@")
else
    mapfile -t targets < <(cut -d' ' -f1 "$build/fuzz/targets.txt")
fi
for t in "${targets[@]}"; do
    if [ -z "${format[$t]:-}" ]; then
        echo "no fuzz target named $t (targets: ${!format[*]})" >&2
        exit 2
    fi
done
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/fuzz.XXXXXX")
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
failed=()
for t in "${targets[@]}"; do
    bin="$PWD/$build/fuzz/${t}_fuzzer"
    dir="$scratch/$t"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    cp fuzz/corpus/"${format[$t]}"/* "$dir/corpus/"
    echo "== $t: replaying saved findings"
    if compgen -G "fuzz/regressions/$t/*" >/dev/null; then
        if ! "$bin" -rss_limit_mb=2048 -timeout=10 fuzz/regressions/"$t"/* >"$dir/replay.log" 2>&1; then
            echo "FAILED: $t on a saved finding (log: $dir/replay.log)"
            failed+=("$t")
            continue
        fi
    fi
    echo "== $t: fuzzing for ${seconds}s"
    if (cd "$dir" && "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" corpus >"$dir/fuzz.log" 2>&1); then
        grep '^Done' "$dir/fuzz.log" || true
    else
        echo "FAILED: $t (log: $dir/fuzz.log, input: $(ls "$dir/artifacts" | head -1))"
        failed+=("$t")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found problems in: ${failed[*]} (scratch: $scratch)"
    exit 1
fi
rm -rf "$scratch"
echo "fuzzing: no findings"
