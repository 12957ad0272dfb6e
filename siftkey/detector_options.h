// The detector's settings, as the command line sets them.
#pragma once

namespace siftkey {

inline constexpr double kDefaultContrastThreshold = 0.04;
inline constexpr double kDefaultEdgeThreshold = 10.0;

struct DetectorOptions {
    int max_keypoints = 0;  // keep the strongest this many; 0 keeps all
    double contrast_threshold = kDefaultContrastThreshold;  // at least 0
    double edge_threshold = kDefaultEdgeThreshold;          // at least 1
    bool upright = false;  // orientation 0 for all, descriptors aligned with the pixel axes
};

}  // namespace siftkey
