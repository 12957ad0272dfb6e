#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, in build/clang-sanitize, the tree of the sanitizer
# tests: scripts/build.sh clang-sanitize) and runs each of them for a fixed time.
#   scripts/fuzz.sh [seconds-per-target] [target...]
# Targets: key_reader, featsheet, matcher, match_report, camera_file, estimation,
# image_header, siftkey_options, pair_list, tie_points_csv (fuzz/CMakeLists.txt).
# Default: the targets share a fixed time, FUZZ_BUDGET seconds (200) of wall time with as
# many targets at a time as there are cores (FUZZ_JOBS sets another number), each at least
# 20 s; so a new target shortens the others instead of lengthening CI. Each target first replays its saved findings
# (fuzz/regressions/<target>/), then fuzzes a scratch copy of the seed corpus of its input
# format (fuzz/corpus/<format>/), so the committed corpus never grows by itself. Fails when a
# target finds a crash, a leak, a timeout or an out-of-memory input; the input is left in
# the scratch directory, whose path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-}
shift || true
jobs=${FUZZ_JOBS:-$(nproc)}
build=build/clang-sanitize

# Configures the tree (and builds nothing yet) to learn the targets.
scripts/build.sh clang-sanitize --configure
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
scripts/build.sh clang-sanitize "${targets[@]/%/_fuzzer}"
if [ -z "$seconds" ]; then
    rounds=$(( (${#targets[@]} + jobs - 1) / jobs ))
    seconds=$(( ${FUZZ_BUDGET:-200} / rounds ))
    [ "$seconds" -ge 20 ] || seconds=20
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/fuzz.XXXXXX")
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# fuzz_one <target>: its saved findings, then fuzzing; prints one line; fails on a finding.
fuzz_one() {
    local t=$1
    local bin="$PWD/$build/fuzz/${t}_fuzzer"
    local dir="$scratch/$t"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    cp fuzz/corpus/"${format[$t]}"/* "$dir/corpus/"
    if compgen -G "fuzz/regressions/$t/*" >/dev/null; then
        if ! "$bin" -rss_limit_mb=2048 -timeout=10 fuzz/regressions/"$t"/* >"$dir/replay.log" 2>&1; then
            echo "FAILED: $t on a saved finding (log: $dir/replay.log)"
            return 1
        fi
        echo "$t: saved findings replayed"
    fi
    if (cd "$dir" && "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" corpus >"$dir/fuzz.log" 2>&1); then
        echo "$t: fuzzed for ${seconds}s: $(grep '^Done' "$dir/fuzz.log" || echo 'no summary')"
    else
        echo "FAILED: $t (log: $dir/fuzz.log, input: $(ls "$dir/artifacts" | head -1))"
        return 1
    fi
}

# The targets, $jobs at a time.
echo "== fuzzing ${#targets[@]} targets for ${seconds}s each, $jobs at a time"
declare -A running=()
failed=()
for t in "${targets[@]}"; do
    while [ ${#running[@]} -ge "$jobs" ]; do
        status=0
        wait -n -p done_pid "${!running[@]}" || status=$?
        [ "$status" -eq 0 ] || failed+=("${running[$done_pid]}")
        unset "running[$done_pid]"
    done
    fuzz_one "$t" &
    running[$!]=$t
done
for pid in "${!running[@]}"; do
    wait "$pid" || failed+=("${running[$pid]}")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found problems in: ${failed[*]} (scratch: $scratch)"
    exit 1
fi
rm -rf "$scratch"
echo "fuzzing: no findings"
