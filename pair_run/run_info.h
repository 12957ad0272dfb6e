// What the writers of a pair's outputs need to know about its run besides the result: the
// input files and their keypoint counts, the cameras, the matching and estimation settings.
// `orient` and `orient-block` fill it alike, so that a pair's JSON document is the same from
// both.
#pragma once

#include <string>

#include "camera/camera_model.h"
#include "keypoints/matching.h"
#include "robust_orientation/estimate.h"

namespace pair_run {

// The version of `orient` (and of the pair runs of `orient-block`), "x.y.z".
const char* Version();

struct CameraUse {
    ro::Camera camera;
    std::string file;  // the camera file it was read from; empty: the built-in camera
};

struct RunInfo {
    // The key files; empty when the keypoints came from memory (the Python module). Both are
    // empty when the tie points were given instead of keypoints (tie_points).
    std::string keys1_file;
    std::string keys2_file;
    // Tie points measured elsewhere instead of keypoints: no matching, and the JSON document
    // names their file (tie_points_file; empty: from memory) instead of key files.
    bool tie_points = false;
    std::string tie_points_file;
    int keypoints1 = 0;
    int keypoints2 = 0;
    int descriptor_length = 0;
    CameraUse camera1;
    CameraUse camera2;
    bool same_camera = true;  // both photographs taken with camera 1
    keypoints::DistanceRatio ratio;
    bool mutual = false;
    ro::EstimationOptions estimation;
    // The thread count is not written anywhere: the outputs are the same for every count.
    int threads = 1;
    std::string points_file;  // where the tie points went; empty: not written
};

// The distance ratio as its shortest decimal ("0.6", "0.75", "1").
std::string RatioText(const keypoints::DistanceRatio& ratio);

}  // namespace pair_run
