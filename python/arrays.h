// Conversions between NumPy arrays and the engine's records: keypoint lists (positions N x 4
// float32 row, column, scale, orientation; descriptors N x D integers), tie points (N x 2
// row, column per photograph) and index pairs. Shape and type problems raise ValueError or
// TypeError naming the argument. Called with the GIL held.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "keypoints/keypoint.h"
#include "keypoints/matching.h"
#include "robust_orientation/tie_points.h"

namespace relative_orientation_python {

// (positions, descriptors): float32 N x 4 and uint8 N x `dimensions`. Raises InputError
// naming `file` when a descriptor value lies outside 0 to 255.
pybind11::tuple KeypointArrays(const keypoints::KeypointList& keys, int dimensions,
                               const std::string& file);

// The descriptors of an N x D integer array as keypoints at position 0; `name` is the
// argument's name in messages. *dimensions receives D.
keypoints::KeypointList DescriptorList(const pybind11::handle& descriptors, const char* name,
                                       int* dimensions);

// A (positions, descriptors) pair as read_keypoints returns it: the keypoint list and
// *dimensions its descriptor length.
keypoints::KeypointList KeypointList(const pybind11::handle& pair, const char* name,
                                     int* dimensions);

// Tie points from two N x 2 arrays of (row, column) pixels; key numbers -1, ratio NaN.
std::vector<ro::TiePoint> TiePointList(const pybind11::handle& points1,
                                       const pybind11::handle& points2);

// The matches as an M x 2 int64 array of (key1, key2).
pybind11::array_t<std::int64_t> MatchIndices(const std::vector<keypoints::Match>& matches);

}  // namespace relative_orientation_python
