// The interior orientation of the one camera that takes both photographs, and the
// geometry constants of the coplanarity model. Every constant is fixed at build time.
#pragma once

// Pixels per metre on the image plane: one pixel measures 1/S metres (7.4 micrometres).
// The value is this decimal, not the exact reciprocal of 7.4e-6.
inline constexpr double kPixelScale = 135135.1351;

// Principal point (column i0, row j0) of camera number 1, in pixels: the centre of a
// 1920 x 1024 frame.
inline constexpr double kPrincipalColumnCamera1 = 959.5;
inline constexpr double kPrincipalRowCamera1 = 511.5;

// Principal point of every other camera number. Both photographs come from one camera,
// so the values are the same; they stay separate so that a second camera can differ.
inline constexpr double kPrincipalColumnOther = 959.5;
inline constexpr double kPrincipalRowOther = 511.5;

// Angle between the pixel axes and the image-plane axes, radians.
inline constexpr double kInPlaneAngle = 0.0;

// Focal length: distance of the projection centre from the image plane, metres.
inline constexpr double kFocalLength = 0.0132;
