#!/usr/bin/env bash
# The whole check, as CI runs it (.ci/run): sets up a fresh machine, then
#   release build   build/release: g++, optimised, programs, tests and benchmarks
#   lint            clang-format on every file, clang-tidy on the program sources that a
#                   change since the last clean record can affect (scripts/lint.sh)
#   release tests   every test in build/release
#   sanitize build  build/clang-sanitize: clang at -O1, the programs and their libraries
#                   with AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's
#                   coverage, the tests linked against them, the fuzz targets
#   sanitize tests  every test in build/clang-sanitize but those labelled packaging (they
#                   make another tree or a package from this one; the release tests do)
#   fuzz            each fuzz target replays its saved findings, then fuzzes; the targets
#                   share about 200 s (scripts/fuzz.sh), or FUZZ_SECONDS each when it is set,
#                   as many targets at a time as there are cores
# and prints the time of each stage. docs/ci.md tells what each stage checks and its times.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# A sanitizer report must never pass for one of the programs' own failure statuses:
# abort (a signal) on the first report, leaks included.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:print_stacktrace=1}

start=$SECONDS
# stage <name> <command...>: runs the command and prints "== <name>: <seconds> s".
stage() {
    local name=$1 t0=$SECONDS
    shift
    echo "== $name"
    if ! "$@"; then
        echo "== $name: FAILED after $((SECONDS - t0)) s"
        exit 1
    fi
    echo "== $name: $((SECONDS - t0)) s (load: $(cut -d' ' -f1-3 /proc/loadavg))"
}

stage "install dependencies" scripts/install-deps.sh
stage "release build" scripts/build.sh release
stage "lint" scripts/lint.sh build/release
stage "release tests" ctest --test-dir build/release --output-on-failure -j "$jobs"
stage "sanitize build" scripts/build.sh clang-sanitize
# The two statistical honesty checks orient 400 scenes each, and orient-block's program tests
# orient the bundled block over and over (threads, shards, resumes, 20 kills): under the
# sanitizers (-O1) that takes minutes. Every path they take is taken there by the other
# estimation tests, the block library's tests and the aerial block run through orient-block.
stage "sanitize tests" ctest --test-dir build/clang-sanitize --output-on-failure -j "$jobs" \
    -LE packaging -E 'StatedSigmas(AreHonest|OfBaseAndRotationAreHonest)$|^OrientBlock\.'
stage "fuzz" scripts/fuzz.sh ${FUZZ_SECONDS:+"$FUZZ_SECONDS"}
echo "== all stages: $((SECONDS - start)) s"
