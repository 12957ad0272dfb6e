// What the writers of `orient` need to know about a run besides its result: the input
// files and their keypoint counts, the cameras, the matching and estimation settings.
#pragma once

#include <string>

#include "camera/camera_model.h"
#include "keypoints/matching.h"
#include "robust_orientation/estimate.h"

namespace orient {

// The program's version, "x.y.z".
const char* Version();

struct CameraUse {
    ro::Camera camera;
    std::string file;  // the camera file it was read from; empty: the built-in camera
};

struct RunInfo {
    std::string keys1_file;
    std::string keys2_file;
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

}  // namespace orient
