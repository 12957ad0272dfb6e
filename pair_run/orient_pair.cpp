#include "pair_run/orient_pair.h"

#include <utility>
#include <vector>

#include "pair_run/photograph_fit.h"
#include "robust_orientation/keypoint_matching.h"

namespace pair_run {

PairOrientation OrientPair(const KeypointFile& first, const KeypointFile& second, RunInfo& run,
                           const std::string& image1_file, const image::ImageHeader* image1) {
    run.keypoints1 = static_cast<int>(first.keys.size());
    run.keypoints2 = static_cast<int>(second.keys.size());
    run.descriptor_length = first.dimensions;
    run.estimation.threads = run.threads;
    const keypoints::MatchOptions match{run.ratio, run.mutual, run.threads};
    const std::vector<ro::TiePoint> tie_points =
        ro::MatchKeypoints(first.keys, second.keys, first.dimensions, match);
    PairOrientation pair{
        ro::EstimateOrientation(tie_points, run.camera1.camera, run.camera2.camera, run.estimation),
        0};
    for (ro::Warning& warning : InputWarnings(run, first, second, image1_file, image1)) {
        pair.result.warnings.push_back(std::move(warning));
        ++pair.input_warnings;
    }
    return pair;
}

PairOrientation OrientTiePoints(const std::vector<ro::TiePoint>& tie_points, RunInfo& run) {
    run.tie_points = true;
    run.estimation.threads = run.threads;
    return {
        ro::EstimateOrientation(tie_points, run.camera1.camera, run.camera2.camera, run.estimation),
        0};
}

}  // namespace pair_run
