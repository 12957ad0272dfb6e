// Lens distortion (camera_model.h gives its equations) and the checks that a camera's
// distortion can be undone over its frame.
#pragma once

#include <optional>
#include <string>

#include "camera/camera_model.h"

namespace ro {

// A point of the normalised plane with the derivative of the forward map there.
struct DistortedPoint {
    double x = 0.0;
    double y = 0.0;
    // d(xd, yd) / d(xn, yn): row by row.
    double dx_dx = 1.0;
    double dx_dy = 0.0;
    double dy_dx = 0.0;
    double dy_dy = 1.0;
    double Determinant() const { return dx_dx * dy_dy - dx_dy * dy_dx; }
};

// The measured (distorted) normalised point of the undistorted one (xn, yn), with the
// derivative of the map.
DistortedPoint Distort(const Distortion& distortion, double xn, double yn);

// The undistorted normalised point whose distorted point is (xd, yd), by Newton's method on
// the forward map started at (xd, yd), with the forward map's derivative at it; nothing
// when the iteration does not reach a point that distorts to within `tolerance` (normalised
// units) of (xd, yd).
struct UndistortedPoint {
    double x = 0.0;
    double y = 0.0;
    DistortedPoint forward;  // the forward map at (x, y)
};
std::optional<UndistortedPoint> Undistort(const Distortion& distortion, double xd, double yd,
                                          double tolerance);

// How close (in pixels of the larger focal length) an undone distortion must distort back
// to the measured point.
inline constexpr double kUndistortTolerancePx = 1e-6;

// Why the distortion of `camera` cannot be undone over a frame of `columns` x `rows` pixels
// (pixel centres 0 .. columns - 1, the frame reaching half a pixel beyond them): the
// forward map folds over (its Jacobian determinant is not positive at the preimage of a
// point of a fine grid over the frame, or on the way out from the principal point to the
// preimage of a point of its border), e.g. "the distortion folds over inside the 640 x 480
// px frame (at column -0.5, row 12.3)", or its inverse does not converge there ("the
// distortion cannot be undone inside the 640 x 480 px frame (its inverse does not converge
// at column -0.5, row -0.5)"); empty when it can be undone everywhere, and for a camera
// without distortion.
std::string DistortionProblem(const Camera& camera, double columns, double rows);

}  // namespace ro
