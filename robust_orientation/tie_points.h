// Tie points: the matched positions of one object point in both photographs.
#pragma once

#include <limits>

namespace ro {

struct TiePoint {
    double row1_px = 0.0;  // photograph 1: row (downwards) and column (to the right)
    double col1_px = 0.0;
    double row2_px = 0.0;  // photograph 2
    double col2_px = 0.0;
    // Nearest / second-nearest descriptor distance of the match (NaN when not known).
    double ratio = std::numeric_limits<double>::quiet_NaN();
    int key1 = -1;  // 0-based keypoint numbers in both files (-1 when not known)
    int key2 = -1;
};

}  // namespace ro
