#!/usr/bin/env bash
# Whole-run benchmarks of orient-block on synthetic aerial blocks (tools/make_aerial_block),
# each figure the median of RUNS runs, every baseline timed in the same session:
#   a  a block of STRIPS x PHOTOS photographs of KEYPOINTS keypoints (default 3 x 14 x
#      10000: 42 photographs, about 160 pairs): orient-block on 1 and on 2 threads, and
#      `orient` once per pair, two at a time (xargs -P2, --threads 1 each); rates compared
#   b  the same block's pairs matched alone on one thread (match_pairs, beside this
#      script): the share of the 1-thread run that is not matching
#   c  the largest resident set of orient-block --cache-mb 200 --threads 2 on a block of
#      CSTRIPS x CPHOTOS = 4 x 25 = 100 photographs (/usr/bin/time's maximum resident set)
#   d  bench_matching: the matcher's GMAC/s on 10000 x 10000 keypoints against the 8-bit
#      multiply-add peak (Peak/vpdpbusd) of the same run
#
#   benchmarks/block/run.sh [WORK_DIR]        (default: a new folder under /tmp)
#   environment: RUNS=3, PARTS="a b c d", STRIPS=3, PHOTOS=14, KEYPOINTS=10000, SEED=1,
#                CSTRIPS=4, CPHOTOS=25, BUILD=build/release
# Build first: scripts/build.sh release make_aerial_block orient-block orient match_pairs
# bench_matching. Blocks already in WORK_DIR are reused. Each run writes a new database.
set -euo pipefail
cd "$(dirname "$0")/../.."

runs=${RUNS:-3}
parts=${PARTS:-a b c d}
strips=${STRIPS:-3} photos=${PHOTOS:-14} keypoints=${KEYPOINTS:-10000} seed=${SEED:-1}
build=${BUILD:-build/release}
work=${1:-$(mktemp -d /tmp/block-bench.XXXXXX)}
mkdir -p "$work"

program() {  # the built program named $1, or nothing
    find "$build" -type f -name "$1" -perm -u+x -print -quit 2>/dev/null
}
need() {
    [ -n "$2" ] || { echo "run.sh: $1 is not built in $build" >&2; exit 1; }
}
median() {  # the median of the numbers on standard input
    sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
timed() {  # timed FILE FUNCTION ARG...: appends "wall user sys maxrss_kb" of one run to FILE
    local file=$1
    shift
    /usr/bin/time -f "%e %U %S %M" -a -o "$file" bash -c '"$@"' bash "$@" >/dev/null
}
column_median() {  # column_median FILE COLUMN
    awk -v c="$2" '{print $c}' "$1" | median
}
block() {  # block DIR STRIPS PHOTOS: makes the aerial block in DIR unless it is there
    if [ ! -f "$1/pairs.txt" ]; then
        need make_aerial_block "$make_block"
        mkdir -p "$1"
        "$make_block" --strips "$2" --photos "$3" --keypoints "$keypoints" --seed "$seed" "$1" >/dev/null
    fi
}
orient_block() {  # orient_block DIR DB THREADS [OPTION...]
    local dir=$1 db=$2 threads=$3
    shift 3
    rm -f "$db" "$db-wal" "$db-shm"
    "$orient_block" --db "$db" --camera "$dir/camera.cam" --pairs "$dir/pairs.txt" \
        --threads "$threads" --quiet "$@" "$dir"/*.key
}
orient_loop() {  # orient_loop DIR OUT: orient once per pair, two at a time
    rm -rf "$2" && mkdir -p "$2"
    grep -v '^\s*\(#\|$\)' "$1/pairs.txt" | xargs -P2 -L1 sh -c \
        '"$0" --threads 1 --camera "$1/camera.cam" --quiet --json "$2/$3-$4.json" "$1/$3.key" "$1/$4.key" 2>/dev/null; [ $? -le 3 ]' \
        "$orient" "$1" "$2"
}

make_block=$(program make_aerial_block)
orient_block=$(program orient-block)
orient=$(program orient)
export orient_block orient
export -f orient_block orient_loop
echo "work folder $work; $runs runs each; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

if [[ $parts == *a* || $parts == *b* ]]; then
    need orient-block "$orient_block"
    a="$work/a_${strips}x${photos}x${keypoints}"
    block "$a" "$strips" "$photos"
    pairs=$(grep -cv '^\s*\(#\|$\)' "$a/pairs.txt")
    echo "block a: $(ls "$a"/*.key | wc -l) photographs, $pairs pairs"
    rm -f "$work"/a_*.times
    for ((i = 0; i < runs; i++)); do
        timed "$work/a_t1.times" orient_block "$a" "$work/a.db" 1
        timed "$work/a_t2.times" orient_block "$a" "$work/a.db" 2
        if [[ $parts == *a* ]]; then
            need orient "$orient"
            timed "$work/a_loop.times" orient_loop "$a" "$work/a_loop"
        fi
        if [[ $parts == *b* ]]; then
            need match_pairs "$(program match_pairs)"
            "$(program match_pairs)" "$a" "$a/pairs.txt" | awk '{print $8, $10}' >>"$work/a_match.times"
        fi
    done
    t1=$(column_median "$work/a_t1.times" 1)
    t2=$(column_median "$work/a_t2.times" 1)
    echo "a: orient-block 1 thread ${t1} s (cpu $(column_median "$work/a_t1.times" 2) + $(column_median "$work/a_t1.times" 3) s), 2 threads ${t2} s"
    awk -v p="$pairs" -v t1="$t1" -v t2="$t2" 'BEGIN {printf "a: %.2f pairs/s on 1 thread, %.2f on 2: ratio %.2f (target >= 1.9)\n", p / t1, p / t2, t1 / t2}'
    if [[ $parts == *a* ]]; then
        tl=$(column_median "$work/a_loop.times" 1)
        awk -v tl="$tl" -v t2="$t2" 'BEGIN {printf "a: orient per pair, 2 at a time, %s s: orient-block on 2 threads %.2f x faster (target >= 1.3)\n", tl, tl / t2}'
    fi
    if [[ $parts == *b* ]]; then
        # Wall clock against wall clock, and processor time against processor time (the
        # latter holds better on a busy machine).
        tm=$(column_median "$work/a_match.times" 1)
        cm=$(column_median "$work/a_match.times" 2)
        c1=$(awk '{print $2 + $3}' "$work/a_t1.times" | median)
        awk -v tm="$tm" -v t1="$t1" -v cm="$cm" -v c1="$c1" 'BEGIN {printf "b: matching alone %s s of the 1-thread run %s s: %.1f %% is not matching; processor time %s of %s s: %.1f %% (target <= 15)\n", tm, t1, 100 * (1 - tm / t1), cm, c1, 100 * (1 - cm / c1)}'
    fi
fi

if [[ $parts == *c* ]]; then
    need orient-block "$orient_block"
    c="$work/c_${CSTRIPS:-4}x${CPHOTOS:-25}x${keypoints}"
    block "$c" "${CSTRIPS:-4}" "${CPHOTOS:-25}"
    rm -f "$work/c.times"
    for ((i = 0; i < runs; i++)); do
        timed "$work/c.times" orient_block "$c" "$work/c.db" 2 --cache-mb 200
    done
    echo "c: $(ls "$c"/*.key | wc -l) photographs, $(grep -cv '^\s*\(#\|$\)' "$c/pairs.txt") pairs, --cache-mb 200: largest resident set $(($(column_median "$work/c.times" 4) / 1024)) MB (target <= 300), ${runs} runs, $(column_median "$work/c.times" 1) s each"
fi

if [[ $parts == *d* ]]; then
    bench=$(program bench_matching)
    need bench_matching "$bench"
    # One call for the peak and one for the matcher: the CSV report wants the same
    # counters in every row. Peak and matcher alternate so that both see the same load.
    rm -f "$work/d.csv"
    for ((i = 0; i < runs; i++)); do
        for filter in 'Peak/vpdpbusd' 'Match/(sift|uniform)/vnni/10000'; do
            "$bench" --benchmark_filter="$filter" --benchmark_repetitions=5 \
                --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null >>"$work/d.csv"
        done
    done
    # Each call's median GMAC/s (the column found by its header), then their median.
    awk -F, '/^name,/ {for (i = 1; i <= NF; i++) if ($i ~ /GMAC/) c = i; next}
             $1 ~ /_median"$/ {n = $1; gsub(/"|\/repeats:.*/, "", n); print n, $c}' \
        "$work/d.csv" >"$work/d.rates"
    peak=$(awk '$1 == "Peak/vpdpbusd" {print $2}' "$work/d.rates" | median)
    for name in $(awk '$1 != "Peak/vpdpbusd" {print $1}' "$work/d.rates" | sort -u); do
        awk -v n="$name" '$1 == n {print $2}' "$work/d.rates" | median |
            awk -v n="$name" -v p="$peak" '{printf "d: %s %.0f GMAC/s of the peak %.0f: %.1f %% (target >= 88)\n", n, $1, p, 100 * $1 / p}'
    done
fi
