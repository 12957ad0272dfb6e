#!/usr/bin/env bash
# siftkey on a 24-megapixel photograph: a baseline siftkey (say, one built from main) against
# another, as whole runs. The photograph is data/real/stereo/left.png enlarged 9 times
# (5760 x 4320, bicubic, JPEG quality 95), made with Debian's python3-opencv. The two run in
# turn, A B A B ..., after one warm-up each; printed per program: the median and range of
# the wall-clock seconds and of the peak resident memory (GNU time's "Maximum resident set
# size"), the keypoint count, and the ratio of the median times.
#   benchmarks/siftkey/compare_large.sh BASELINE_SIFTKEY NEW_SIFTKEY [RUNS] [NEW OPTION ...]
# RUNS defaults to 5; options after it go to NEW only (e.g. --max-size 0).
set -euo pipefail
cd "$(dirname "$0")/../.."

[ $# -ge 2 ] || { sed -n '2,10p' "$0" >&2; exit 2; }
baseline=$(realpath "$1")
new=$(realpath "$2")
runs=${3:-5}
shift $(($# < 3 ? $# : 3))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work/photo.jpg" <<'PY'
import sys, cv2
image = cv2.imread("data/real/stereo/left.png", cv2.IMREAD_UNCHANGED)
big = cv2.resize(image, (image.shape[1] * 9, image.shape[0] * 9), interpolation=cv2.INTER_CUBIC)
cv2.imwrite(sys.argv[1], big, [cv2.IMWRITE_JPEG_QUALITY, 95])
PY

# One run: "seconds kilobytes" appended to $work/NAME.
run() {
    local name=$1
    shift
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" "$work/photo.jpg" "$work/$name.key" 2>/dev/null
    cat "$work/time" >>"$work/$name"
}

for name in baseline new; do : >"$work/$name"; done
run warmup "$baseline"
run warmup "$new" "$@"
for _ in $(seq "$runs"); do
    run baseline "$baseline"
    run new "$new" "$@"
done

# Median, minimum and maximum of column $2 of file $1.
stats() { sort -g -k"$2" "$1" | awk -v c="$2" '{v[NR]=$c} END {
    m = NR % 2 ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2; printf "%.2f %.2f %.2f\n", m, v[1], v[NR] }'; }

printf '%-9s %-24s %-30s %s\n' program "wall s (median min max)" "peak RSS MiB (median min max)" keypoints
for name in baseline new; do
    read -r t tmin tmax < <(stats "$work/$name" 1)
    read -r m mmin mmax < <(stats "$work/$name" 2)
    printf '%-9s %-24s %-30s %s\n' "$name" "$t $tmin $tmax" \
        "$((${m%.*} / 1024)) $((${mmin%.*} / 1024)) $((${mmax%.*} / 1024))" \
        "$(head -n1 "$work/$name.key" | cut -d' ' -f1)"
    eval "median_$name=$t"
done
awk -v a="$median_new" -v b="$median_baseline" 'BEGIN { printf "time new / baseline: %.3f\n", a / b }'
