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

// Lens distortion in the convention of OpenCV's calibrateCamera, so that its coefficients
// are pasted unchanged. On the normalised coordinates of the undistorted point
//   xn = (column - cx) / fx,  yn = (row - cy) / fy,  r^2 = xn^2 + yn^2
// (column right, row down, fx and fy the focal length in column and row pixels), the
// measured (distorted) point is
//   xd = xn (1 + k1 r^2 + k2 r^4 + k3 r^6) + 2 p1 xn yn + p2 (r^2 + 2 xn^2)
//   yd = yn (1 + k1 r^2 + k2 r^4 + k3 r^6) + p1 (r^2 + 2 yn^2) + 2 p2 xn yn
// at pixel (cx + fx xd, cy + fy yd).
struct Distortion {
    double k1 = 0.0;
    double k2 = 0.0;
    double k3 = 0.0;
    double p1 = 0.0;
    double p2 = 0.0;
    bool IsZero() const { return k1 == 0.0 && k2 == 0.0 && k3 == 0.0 && p1 == 0.0 && p2 == 0.0; }
    bool operator==(const Distortion&) const = default;
};

struct Camera {
    double focal_length_m = 0.0;
    double pixels_per_metre = 0.0;  // columns: one pixel measures 1 / pixels_per_metre metres
    double principal_column_px = 0.0;
    double principal_row_px = 0.0;
    double in_plane_angle_rad = 0.0;  // angle between the pixel axes and the image-plane axes
    // fy / fx: the width of a pixel over its height, rows per metre over columns per metre
    // (1 for square pixels).
    double row_scale = 1.0;
    Distortion distortion{};
    // True for a camera given by its focal length in pixels (focal_length_px): no metric size
    // is known, and focal_length_m and pixels_per_metre hold a nominal 1 um pixel.
    bool in_pixels = false;

    // No distortion and square pixels: the plain model of `relative`.
    bool IsPlain() const { return row_scale == 1.0 && distortion.IsZero(); }

    bool operator==(const Camera&) const = default;

    double FocalLengthPx() const { return focal_length_m * pixels_per_metre; }
    double PixelSizeUm() const { return 1e6 / pixels_per_metre; }

    // Pixel position to image plane. A plain camera evaluates it exactly as `relative`
    // does, so that the built-in camera gives the same doubles in both programs; any other
    // undoes the distortion (distortion.h) of the normalised point
    //   xn = (column - cx) / fx,  yn = (row - cy) / fy,  fx = f * pixels_per_metre,
    //   fy = fx * row_scale
    // and turns the undistorted (xu, yu) onto the plane's axes as the plain model does:
    //   x = f (cos t xu + sin t yu),  y = f (sin t xu - cos t yu).
    // NaN where the distortion cannot be undone (beyond a frame it can be undone over).
    ImagePoint ToImagePlane(double column_px, double row_px) const;

    // d(x_m, y_m) / d(column, row) of ToImagePlane at one pixel position: metres per pixel.
    struct PlaneJacobian {
        double dx_dcolumn = 0.0;
        double dx_drow = 0.0;
        double dy_dcolumn = 0.0;
        double dy_drow = 0.0;
    };
    // The image-plane position with the derivative of the map there written to *jacobian.
    ImagePoint ToImagePlane(double column_px, double row_px, PlaneJacobian* jacobian) const;

    // Image plane back to the pixel position (column, row), with the forward distortion.
    struct PixelPoint {
        double column_px = 0.0;
        double row_px = 0.0;
    };
    PixelPoint ToPixel(const ImagePoint& point) const;
};

// The camera built into `relative` (the build's RO_CAMERA_* constants).
Camera BuiltInCamera();

// The height over the width of a pixel (row_scale) lies within these.
inline constexpr double kMinRowScale = 0.1;
inline constexpr double kMaxRowScale = 10.0;

// Why `camera` is not one a photograph can have been taken with (a value not finite or
// outside the ranges above), e.g. "the focal length is 1e-09 px; it must lie between 1 and
// 1000000 px"; empty when it is. A camera given in pixels is checked by its focal length
// in pixels only. Whether its distortion can be undone over a frame is
// DistortionProblem's (distortion.h).
std::string CameraProblem(const Camera& camera);

// True when CameraProblem finds nothing.
bool IsUsable(const Camera& camera);

}  // namespace ro
