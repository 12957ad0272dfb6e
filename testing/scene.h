// The synthetic two-camera scene with a known relative orientation, shared by the tests,
// the benchmarks and tools/make_example_scene.
//
// Camera 1 sits at the origin without rotation and looks along -z; camera 2 sits at
// (1, Ey, Ez) with the attitude M = Rx(omega) Ry(phi) Rz(kappa). Both photographs come
// from one camera, given as plain values. 3-D points are drawn along random rays of
// camera 1 at random depths and kept when camera 2 sees them inside its frame; each gives
// a tie point and a keypoint in both photographs (a SIFT-like descriptor, perturbed in the
// second photograph). Everything is computed here, independently of the code under test:
// the rotation is the product of the three elementary rotations, not get3drotation's
// multiplied-out form. Photograph 2 may come from another camera, false matches may be
// gross or lie within a few pixels of their epipolar lines, and the points may lie on a
// plane, for the robust orientation's tests.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "camera/builtin_camera.h"
#include "camera/camera_model.h"
#include "relative/utils.h"
#include "testing/keypoint_files.h"

namespace scene {

// The interior orientation and frame of the camera; the default is the built-in camera of
// this build (RO_CAMERA_*), with the frame whose centre is the principal point.
struct SceneCamera {
    double pixels_per_metre = ro::kPixelScale;
    double principal_i = ro::kPrincipalColumnCamera1;  // column, pixels
    double principal_j = ro::kPrincipalRowCamera1;     // row, pixels
    double theta = ro::kInPlaneAngle;                  // radians
    double focal_length = ro::kFocalLength;            // metres
    double columns = 2 * ro::kPrincipalColumnCamera1 + 1;
    double rows = 2 * ro::kPrincipalRowCamera1 + 1;
    // Non-square pixels (rows per metre over columns per metre) and lens distortion in the
    // convention of camera/camera_model.h, applied when a point is projected.
    double row_scale = 1.0;
    double k1 = 0.0;
    double k2 = 0.0;
    double k3 = 0.0;
    double p1 = 0.0;
    double p2 = 0.0;
    bool IsPlain() const {
        return row_scale == 1.0 && k1 == 0.0 && k2 == 0.0 && k3 == 0.0 && p1 == 0.0 && p2 == 0.0;
    }
};

// A scene camera from a camera of the estimation, its frame centred on the principal point.
SceneCamera ToSceneCamera(const ro::Camera& camera);
ro::Camera ToCamera(const SceneCamera& camera);

// The pixel (column, row) where camera `c` sees the image-plane point (x, y) (metres from
// the principal point, y up), its lens distortion applied.
std::array<double, 2> PlaneToPixel(const SceneCamera& c, double x, double y);

// The true orientation of camera 2; angles in radians.
struct TrueOrientation {
    double ey = 0.0;
    double ez = 0.0;
    double omega = 0.0;
    double phi = 0.0;
    double kappa = 0.0;
};

struct SceneOptions {
    int points = 200;
    double min_depth = 3.0;  // in base lengths, in front of camera 1
    double max_depth = 30.0;
    double noise_px = 0.0;          // Gaussian sigma on each of the four positions
    double outlier_fraction = 0.0;  // share of tie points whose second position is false
    // Of the false matches, the share that lies near the epipolar line: the same ray of
    // camera 1 at another depth as seen by camera 2, then 1 to 3 px off in any direction.
    // The others lie anywhere in the frame, at least 50 px from the true position.
    double near_epipolar_share = 0.0;
    bool planar = false;      // the points on a plane at the middle depth ...
    double plane_tilt = 0.2;  // ... tilted by this angle (radians) about the x axis
    bool keypoints = true;    // false: tie points only, no descriptors drawn
    int distractors = 0;      // keypoints without a partner, in each photograph
    bool shuffle = false;     // shuffle both keypoint lists (else in tie-point order)
    unsigned seed = 1;
    SceneCamera camera;
    std::optional<SceneCamera> camera2;  // photograph 2's camera when it is another one
};

// Tie-point row (i1, j1, i2, j2): pixel positions, column before row.
using TiePoint = std::array<double, 4>;

struct Scene {
    std::vector<TiePoint> tie_points;  // after noise and false matches
    std::vector<char> is_false;        // per tie point: a false match
    std::vector<KeyRecord> keys1;      // tie points first (unless shuffled), then distractors
    std::vector<KeyRecord> keys2;
};

// The scene, the same for the same options. Fails (an empty scene) only when camera 2
// sees almost nothing of what camera 1 sees.
Scene MakeScene(const TrueOrientation& truth, const SceneOptions& options);

// The tie points alone, with options.keypoints off: quicker, and another draw than
// MakeScene's with keypoints.
std::vector<TiePoint> MakeTiePoints(const TrueOrientation& truth, const SceneOptions& options);

// The match array (row1, col1, row2, col2) of tie-point rows.
MatchArray ToMatchArray(const std::vector<TiePoint>& rows);

}  // namespace scene
