#!/usr/bin/env bash
# orient-block against COLMAP's matcher with its geometric verification on the same block:
# the CPU time (user + sys, median of RUNS runs, the two alternating) of every pair of the
# block, and each one's relative poses against the block's truth. COLMAP is not a
# dependency: where it is not installed this says so and exits 0.
#
#   benchmarks/block/colmap_compare.sh [WORK_DIR]    (default: a new folder under /tmp)
#   environment: RUNS=3, BUILD=build/release,
#     the block made by make_aerial_block: STRIPS=2 PHOTOS=5 KEYPOINTS=10500 SEED=1
#       (10 photographs, 45 pairs), or
#     BLOCK=DIR an existing one: DIR/*.key, the camera DIR/camera.cam or CAMERAS=FILE (a
#       camera file, or a cameras file of lines NAME CAMERA_FILE), the truth DIR/truth.json
#       or TRUTH=FILE (poses are compared only with a truth)
#
# COLMAP gets our keypoints and descriptors (colmap_block.py import) in a new database
# each run and runs `colmap exhaustive_matcher` on the CPU with ratio 0.6, its other
# options at their defaults (cross-check on), and the relative pose computed from the
# calibrated cameras. orient-block runs --pairs all on 2 threads; without it, `orient`
# once per pair, two at a time, stands in (and says so).
set -euo pipefail
cd "$(dirname "$0")/../.."
here=benchmarks/block

if ! command -v colmap >/dev/null; then
    echo "colmap is not installed: nothing to compare"
    exit 0
fi
runs=${RUNS:-3}
build=${BUILD:-build/release}
work=${1:-$(mktemp -d /tmp/colmap-compare.XXXXXX)}
mkdir -p "$work"
program() {  # the built program named $1 (absolute), or nothing
    local found
    found=$(find "$build" -type f -name "$1" -perm -u+x -print -quit 2>/dev/null)
    [ -z "$found" ] || realpath "$found"
}
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
cpu() { awk '{print $2 + $3}' "$1" | median; }

if [ -n "${BLOCK:-}" ]; then
    block=$BLOCK
else
    block="$work/block_${STRIPS:-2}x${PHOTOS:-5}x${KEYPOINTS:-10500}"
    if [ ! -f "$block/truth.json" ]; then
        make_block=$(program make_aerial_block)
        [ -n "$make_block" ] || { echo "colmap_compare.sh: make_aerial_block is not built" >&2; exit 1; }
        mkdir -p "$block"
        "$make_block" --strips "${STRIPS:-2}" --photos "${PHOTOS:-5}" \
            --keypoints "${KEYPOINTS:-10500}" --seed "${SEED:-1}" "$block" >/dev/null
    fi
fi
work=$(realpath "$work") block=$(realpath "$block")
cameras=$(realpath "${CAMERAS:-$block/camera.cam}")
truth=${TRUTH:-$block/truth.json}
keys=("$block"/*.key)
[ -f "${keys[0]}" ] || { echo "colmap_compare.sh: no key files in $block" >&2; exit 1; }
orient_block=$(program orient-block)
orient=$(program orient)
echo "block $block: ${#keys[@]} photographs, $(( ${#keys[@]} * (${#keys[@]} - 1) / 2 )) pairs; $runs runs; $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# The database with the block imported, copied anew for each run (a matched pair is never
# matched again).
rm -f "$work/imported.db"
colmap database_creator --database_path "$work/imported.db" >/dev/null
/usr/bin/python3 "$here/colmap_block.py" import "$work/imported.db" "$cameras" "${keys[@]}"

camera_options() {  # the camera options of both tools' command lines for photograph $1
    if grep -q '=' "$cameras"; then
        echo "$cameras"
    else
        awk -v n="$1" -v d="$(dirname "$cameras")" '$1 == n {print d "/" $2}' "$cameras"
    fi
}
run_colmap() {
    cp "$work/imported.db" "$work/colmap.db"
    colmap exhaustive_matcher --database_path "$work/colmap.db" --SiftMatching.use_gpu 0 \
        --SiftMatching.max_ratio 0.6 --SiftMatching.guided_matching 0 \
        --SiftMatching.compute_relative_pose 1 >"$work/colmap.log" 2>&1
}
run_ours() {
    if [ -n "$orient_block" ]; then
        rm -f "$work/ours.db" "$work/ours.db-wal" "$work/ours.db-shm"
        local camera=(--camera "$cameras")
        grep -q '=' "$cameras" || camera=(--cameras "$cameras")
        "$orient_block" --db "$work/ours.db" "${camera[@]}" --pairs all --threads 2 --quiet \
            "${keys[@]}" >/dev/null
    else
        rm -rf "$work/ours" && mkdir "$work/ours"
        local i j a b
        for ((i = 0; i < ${#keys[@]}; i++)); do
            for ((j = i + 1; j < ${#keys[@]}; j++)); do
                a=$(basename "${keys[i]}" .key) b=$(basename "${keys[j]}" .key)
                echo "$(camera_options "$a") $(camera_options "$b") ${keys[i]} ${keys[j]} $work/ours/$a-$b.json"
            done
        done | xargs -P2 -L1 sh -c '"$0" --threads 1 --camera "$1" --camera2 "$2" --quiet --json "$5" "$3" "$4" 2>/dev/null; [ $? -le 3 ]' "$orient"
    fi
}
export work cameras orient_block orient
export -f run_colmap run_ours camera_options

rm -f "$work"/*.times
for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f "%e %U %S" -a -o "$work/colmap.times" bash -c run_colmap
    /usr/bin/time -f "%e %U %S" -a -o "$work/ours.times" bash -c 'keys=("$@"); run_ours' bash "${keys[@]}"
done
ours_label=orient-block
[ -n "$orient_block" ] || ours_label="orient per pair"
colmap_cpu=$(cpu "$work/colmap.times")
ours_cpu=$(cpu "$work/ours.times")
echo "CPU (user + sys), median of $runs: colmap $colmap_cpu s (wall $(awk '{print $1}' "$work/colmap.times" | median) s), $ours_label $ours_cpu s (wall $(awk '{print $1}' "$work/ours.times" | median) s)"
awk -v c="$colmap_cpu" -v o="$ours_cpu" -v l="$ours_label" 'BEGIN {printf "%s takes %.1f x less CPU (target >= 10)\n", l, c / o}'

if [ -f "$truth" ]; then
    ours="$work/ours"
    if [ -n "$orient_block" ]; then
        ours="$work/ours.jsonl"
        rm -f "$ours"
        "$orient_block" export --db "$work/ours.db" --json "$ours"
    fi
    /usr/bin/python3 "$here/colmap_block.py" poses "$work/colmap.db" "$truth" "$ours" "$ours_label"
else
    echo "no truth ($truth): poses not compared"
fi
