// Whether the tie points fit the cameras they are oriented with. A camera file states no
// image size, so a camera's frame is the one its principal point implies (the principal
// point at its centre); tie points far beyond that frame, or spread over a field of view
// no ordinary lens has, mean a camera of another photograph (W-CAMERA-FRAME).
#pragma once

#include <span>
#include <vector>

#include "camera/camera_model.h"
#include "common/angles.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/result.h"
#include "robust_orientation/tie_points.h"

namespace ro {

// Tie points may reach this share of the frame beyond each of its edges (a principal point
// off the centre, a cropped photograph) before the camera counts as not fitting.
inline constexpr double kFrameMargin = 0.25;
// The widest field of view, across the diagonal of the tie points, that counts as plausible.
inline constexpr double kMaxFieldOfViewRad = 150.0 * common::kRadiansPerDegree;

// The size of the frame a camera implies: columns and rows, pixels.
struct FrameSize {
    double columns_px = 0.0;
    double rows_px = 0.0;
};
FrameSize ImpliedFrame(const Camera& camera);

// One W-CAMERA-FRAME warning for each photograph whose finite tie points reach beyond the
// frame of its camera by more than the margin, or span a field of view above the limit at
// its focal length; the message states the points' extent and the frame, the value is the
// share of the frame they reach beyond it (or, within the margin, the field of view in
// degrees). `observations` are the tie points on the image planes (ToObservations), whose
// distortion is undone once for the estimation and for this check.
std::vector<Warning> CameraFrameWarnings(std::span<const TiePoint> tie_points,
                                         std::span<const Observation> observations,
                                         const Camera& camera1, const Camera& camera2);

}  // namespace ro
