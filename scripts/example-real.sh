#!/usr/bin/env bash
# Runs the chain on the real example pairs in data/real/: photographs -> siftkey -> orient
# -> plot (an SVG of the tie points and y-parallaxes over the first photograph).
#   scripts/example-real.sh            all three pairs
#   scripts/example-real.sh stereo     the calibrated stereo rig, undistorted onto one camera
#                                      (true answer in data/real/stereo/TRUTH.md)
#   scripts/example-real.sh raw        the same rig pair as taken, each camera with its
#                                      distortion (the same true answer)
#   scripts/example-real.sh street     the street pair (no camera file, no true answer)
# The keypoint files go to build/example-real/ and are compared with the bundled ones
# (the same image always gives the same file).
set -euo pipefail
cd "$(dirname "$0")/.."

which=${1:-all}
case "$which" in
    stereo|raw|street|all) ;;
    *) echo "usage: $0 [stereo|raw|street]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
# The first build takes a few minutes on two cores: ninja's progress goes to standard error.
echo "building siftkey and orient in build/release ..." >&2
scripts/build.sh release siftkey orient >&2
siftkey=build/release/siftkey/siftkey
orient=build/release/orient/orient
out=build/example-real
mkdir -p "$out"

# detect <image> <bundled key file>: keypoints into $out, checked against the bundled file.
detect() {
    local image=$1 bundled=$2
    local key="$out/$(basename "$bundled")"
    "$siftkey" "$image" "$key"
    if ! cmp -s "$key" "$bundled"; then
        echo "note: $key differs from the bundled $bundled (another OpenCV version?)" >&2
    fi
}

run_pair() {
    local name=$1 image1=$2 image2=$3 camera=$4 sigma=$5 camera2=${6:-}
    local key1="$out/$(basename "${image1%.*}").key" key2="$out/$(basename "${image2%.*}").key"
    echo "== $name: $image1, $image2 =="
    detect "$image1" "${image1%.*}.key"
    detect "$image2" "${image2%.*}.key"
    # Last step: the orientation and its plot. Status 3 (no reliable orientation) is a
    # result to read, not a failure of the script.
    local plot="$out/$name.svg" status=0
    if [ -n "$camera" ]; then
        local cameras=(--camera "$camera")
        if [ -n "$camera2" ]; then cameras+=(--camera2 "$camera2"); fi
        "$orient" "${cameras[@]}" --sigma "$sigma" --plot "$plot" --image1 "$image1" \
            "$key1" "$key2" || status=$?
    else
        echo "skipped: no camera file for the $name pair" >&2
        return 0
    fi
    if [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then exit "$status"; fi
    echo "plot: $plot" >&2
}

if [ "$which" = all ] || [ "$which" = stereo ]; then
    # SIFT positions on this pair are good to about 0.3 px: with the default 0.5 px the
    # chi-square test rejects sigma0 (0.30 px) as too small.
    run_pair stereo data/real/stereo/left.png data/real/stereo/right.png \
        data/real/stereo/camera.txt 0.3
    echo "True answer: data/real/stereo/TRUTH.md" >&2
fi
if [ "$which" = all ] || [ "$which" = raw ]; then
    # The photographs as taken: each camera's calibration, distortion included, corrects
    # the tie points before the estimation.
    run_pair raw data/real/stereo-raw/left.jpg data/real/stereo-raw/right.jpg \
        data/real/stereo-raw/left.cam 0.3 data/real/stereo-raw/right.cam
    echo "True answer: data/real/stereo/TRUTH.md (the same rig and view)" >&2
fi
if [ "$which" = all ] || [ "$which" = street ]; then
    # The street camera's constants are not known: keypoints only.
    run_pair street data/real/street/leuvenA.jpg data/real/street/leuvenB.jpg "" ""
fi
