// Turns fuzzer bytes into two keypoint lists for the matcher and match report targets.
//
// Layout: dims, the two list lengths and a value mode, then per keypoint its row and
// column and its descriptor values, one byte each; missing bytes read as 0. Most inputs
// hold values in 0..255 (what detectors write); the wide mode maps bytes to values that
// reach the int range, so that saturated distances and exact-arithmetic paths are hit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "relative/utils.h"

struct KeypointPair {
    keypoints::KeypointList keys1;
    keypoints::KeypointList keys2;
    int dims = 0;
};

KeypointPair DecodeKeypointPair(const std::uint8_t* data, std::size_t size);
