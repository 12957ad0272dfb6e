// The interior orientation of the camera built into the programs: the one camera of
// `relative`, and `orient`'s camera when no camera file is given. Every constant is fixed
// at build time.
//
// The build passes the values as the text of decimal literals (the CMake cache variables
// RO_CAMERA_*, cmake/CameraConstants.cmake), so each constant is exactly the double its
// literal denotes; the defaults there are the built-in camera described in the README.
#pragma once

#if !defined(RO_CAMERA_PIXELS_PER_METRE) || !defined(RO_CAMERA_PRINCIPAL_I) || \
    !defined(RO_CAMERA_PRINCIPAL_J) || !defined(RO_CAMERA_THETA) ||            \
    !defined(RO_CAMERA_FOCAL_LENGTH)
#error "The camera comes from the build: ro_use_camera_constants (cmake/CameraConstants.cmake)."
#endif

namespace ro {

// Pixels per metre on the image plane: one pixel measures 1/S metres. The default is the
// decimal 135135.1351 (7.4 micrometres), not the exact reciprocal of 7.4e-6.
inline constexpr double kPixelScale = RO_CAMERA_PIXELS_PER_METRE;

// Principal point (column i0, row j0) of camera number 1, in pixels; by default the centre
// of a 1920 x 1024 frame.
inline constexpr double kPrincipalColumnCamera1 = RO_CAMERA_PRINCIPAL_I;
inline constexpr double kPrincipalRowCamera1 = RO_CAMERA_PRINCIPAL_J;

// Principal point of every other camera number. Both photographs come from one camera,
// so the values are the same; they stay separate so that a second camera can differ.
inline constexpr double kPrincipalColumnOther = RO_CAMERA_PRINCIPAL_I;
inline constexpr double kPrincipalRowOther = RO_CAMERA_PRINCIPAL_J;

// Angle between the pixel axes and the image-plane axes, radians.
inline constexpr double kInPlaneAngle = RO_CAMERA_THETA;

// Focal length: distance of the projection centre from the image plane, metres.
inline constexpr double kFocalLength = RO_CAMERA_FOCAL_LENGTH;

static_assert(kPixelScale > 0, "the pixel scale must be positive");
static_assert(kFocalLength > 0, "the focal length must be positive");

}  // namespace ro
