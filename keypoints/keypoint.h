// One keypoint as a keypoint file states it, and a list of them in file order: the record
// every program and library of the project reads keypoints into.
//
// The record keeps the name and field names it has always had (`relative`'s fixed
// interface declares it as KeypointSt); everything else of this library lives in the
// namespace `keypoints`.
#pragma once

#include <vector>

// Positions are pixels: `row` grows downwards, `col` to the right. The descriptor length
// is not stored here: it travels beside the list (the header's dimensions).
struct KeypointSt {
    float row = 0.0f;
    float col = 0.0f;
    float scale = 0.0f;
    float ori = 0.0f;
    std::vector<int> descrip;
};

namespace keypoints {

// A keypoint list in file order.
using KeypointList = std::vector<KeypointSt>;

}  // namespace keypoints
