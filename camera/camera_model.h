// The interior orientation of a camera as a run-time value: the same model as the camera
// built into `relative` (pixel scale, principal point, in-plane angle, focal length), so that
// `orient` can take another camera for each photograph.
//
// Pixel position (i, j) is (column, row), rows growing downwards, the centre of the top-left
// pixel at (0, 0). Image-plane coordinates (x, y) are metres from the principal point, x to
// the right, y upwards (against the row). The image plane lies at z = -f in the camera's
// frame, so the ray of an image point is (x, y, -f).
#pragma once

#include <string>

namespace ro {

// The cameras a photograph can have been taken with. Camera files outside these ranges are
// refused, and the estimation refuses such cameras, so that no overflow or underflow of the
// focal length in pixels reaches it.
inline constexpr double kMinFocalLengthMm = 0.1;
inline constexpr double kMaxFocalLengthMm = 10000.0;
inline constexpr double kMinPixelSizeUm = 0.1;
inline constexpr double kMaxPixelSizeUm = 1000.0;
inline constexpr double kMinFocalLengthPx = 1.0;  // focal length over pixel size
inline constexpr double kMaxFocalLengthPx = 1e6;
// The principal point's column and row each lie from 0 to this (the frame a camera
// implies is twice its principal point).
inline constexpr double kMaxPrincipalPointPx = 1e5;
inline constexpr double kMaxInPlaneAngleDeg = 360.0;  // in either direction

struct ImagePoint {
    double x_m = 0.0;
    double y_m = 0.0;
};

struct Camera {
    double focal_length_m = 0.0;
    double pixels_per_metre = 0.0;  // one pixel measures 1 / pixels_per_metre metres
    double principal_column_px = 0.0;
    double principal_row_px = 0.0;
    double in_plane_angle_rad = 0.0;  // angle between the pixel axes and the image-plane axes

    double FocalLengthPx() const { return focal_length_m * pixels_per_metre; }
    double PixelSizeUm() const { return 1e6 / pixels_per_metre; }

    // Pixel position to image plane, evaluated exactly as `relative` evaluates it, so that
    // the built-in camera gives the same doubles in both programs.
    ImagePoint ToImagePlane(double column_px, double row_px) const;

    // Image plane back to the pixel position (column, row).
    struct PixelPoint {
        double column_px = 0.0;
        double row_px = 0.0;
    };
    PixelPoint ToPixel(const ImagePoint& point) const;
};

// The camera built into `relative` (the build's RO_CAMERA_* constants).
Camera BuiltInCamera();

// Why `camera` is not one a photograph can have been taken with (a value not finite or
// outside the ranges above), e.g. "the focal length is 1e-09 px; it must lie between 1 and
// 1000000 px"; empty when it is.
std::string CameraProblem(const Camera& camera);

// True when CameraProblem finds nothing.
bool IsUsable(const Camera& camera);

}  // namespace ro
