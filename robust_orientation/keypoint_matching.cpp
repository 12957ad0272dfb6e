// Tie points from two keypoint lists.
#include "robust_orientation/keypoint_matching.h"

namespace ro {

std::vector<TiePoint> TiePointsFromMatches(const keypoints::KeypointList& keys1,
                                           const keypoints::KeypointList& keys2,
                                           std::span<const keypoints::Match> matches) {
    std::vector<TiePoint> tie_points;
    tie_points.reserve(matches.size());
    for (const keypoints::Match& m : matches) {
        const KeypointSt& k1 = keys1[static_cast<std::size_t>(m.key1)];
        const KeypointSt& k2 = keys2[static_cast<std::size_t>(m.key2)];
        TiePoint t;
        t.row1_px = k1.row;
        t.col1_px = k1.col;
        t.row2_px = k2.row;
        t.col2_px = k2.col;
        t.ratio = m.Ratio();
        t.key1 = m.key1;
        t.key2 = m.key2;
        tie_points.push_back(t);
    }
    return tie_points;
}

std::vector<TiePoint> MatchKeypoints(const keypoints::KeypointList& keys1,
                                     const keypoints::KeypointList& keys2, int dims,
                                     const keypoints::MatchOptions& options) {
    const std::vector<keypoints::Match> matches =
        keypoints::MatchKeypoints(keys1, keys2, dims, options);
    return TiePointsFromMatches(keys1, keys2, matches);
}

}  // namespace ro
