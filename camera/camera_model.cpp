// The run-time camera model.
#include "camera/camera_model.h"

#include <cmath>
#include <cstdio>

#include "camera/builtin_camera.h"
#include "common/angles.h"

namespace ro {

ImagePoint Camera::ToImagePlane(double column_px, double row_px) const {
    const double cos_theta = std::cos(in_plane_angle_rad);
    const double sin_theta = std::sin(in_plane_angle_rad);
    const double di = column_px - principal_column_px;
    const double dj = row_px - principal_row_px;
    // The image-plane y axis runs upwards, against the row index.
    return {(cos_theta / pixels_per_metre) * di + (sin_theta / pixels_per_metre) * dj,
            di * (sin_theta / pixels_per_metre) - dj * (cos_theta / pixels_per_metre)};
}

Camera::PixelPoint Camera::ToPixel(const ImagePoint& point) const {
    const double cos_theta = std::cos(in_plane_angle_rad);
    const double sin_theta = std::sin(in_plane_angle_rad);
    // The conversion matrix of ToImagePlane is its own inverse up to the scale.
    return {
        (point.x_m * cos_theta + point.y_m * sin_theta) * pixels_per_metre + principal_column_px,
        (point.x_m * sin_theta - point.y_m * cos_theta) * pixels_per_metre + principal_row_px};
}

Camera BuiltInCamera() {
    Camera camera;
    camera.focal_length_m = kFocalLength;
    camera.pixels_per_metre = kPixelScale;
    camera.principal_column_px = kPrincipalColumnCamera1;
    camera.principal_row_px = kPrincipalRowCamera1;
    camera.in_plane_angle_rad = kInPlaneAngle;
    return camera;
}

std::string CameraProblem(const Camera& camera) {
    // A relative slack, so that a value typed at a limit in other units (pixels per metre
    // for micrometres) is not refused for the rounding of its conversion.
    constexpr double kSlack = 1e-9;
    const auto outside = [](double value, double low, double high) {
        return !(value >= low * (1.0 - kSlack) && value <= high * (1.0 + kSlack));
    };
    char text[160];
    const auto say = [&text](const char* what, double value, double low, double high,
                             const char* unit) {
        std::snprintf(text, sizeof text, "the %s is %g %s; it must lie between %g and %g %s", what,
                      value, unit, low, high, unit);
        return std::string(text);
    };
    const double focal_mm = camera.focal_length_m * 1000.0;
    if (outside(focal_mm, kMinFocalLengthMm, kMaxFocalLengthMm)) {
        return say("focal length", focal_mm, kMinFocalLengthMm, kMaxFocalLengthMm, "mm");
    }
    if (outside(camera.pixels_per_metre, 1e6 / kMaxPixelSizeUm, 1e6 / kMinPixelSizeUm)) {
        return say("pixel size", camera.PixelSizeUm(), kMinPixelSizeUm, kMaxPixelSizeUm, "um");
    }
    if (outside(camera.FocalLengthPx(), kMinFocalLengthPx, kMaxFocalLengthPx)) {
        return say("focal length", camera.FocalLengthPx(), kMinFocalLengthPx, kMaxFocalLengthPx,
                   "px");
    }
    for (const double value : {camera.principal_column_px, camera.principal_row_px}) {
        if (!(value >= 0.0 && value <= kMaxPrincipalPointPx)) {
            return say("principal point's column or row", value, 0.0, kMaxPrincipalPointPx, "px");
        }
    }
    const double angle_deg = camera.in_plane_angle_rad * common::kDegreesPerRadian;
    if (outside(std::fabs(angle_deg), 0.0, kMaxInPlaneAngleDeg)) {
        return say("in-plane angle", angle_deg, -kMaxInPlaneAngleDeg, kMaxInPlaneAngleDeg, "deg");
    }
    return {};
}

bool IsUsable(const Camera& camera) { return CameraProblem(camera).empty(); }

// The camera built into the programs is one a photograph can have been taken with.
static_assert(kFocalLength * 1000.0 >= kMinFocalLengthMm &&
                  kFocalLength * 1000.0 <= kMaxFocalLengthMm,
              "RO_CAMERA_FOCAL_LENGTH: 0.1 to 10000 mm");
static_assert(kPixelScale >= 1e6 / kMaxPixelSizeUm && kPixelScale <= 1e6 / kMinPixelSizeUm,
              "RO_CAMERA_PIXELS_PER_METRE: pixels of 0.1 to 1000 micrometres");
static_assert(kFocalLength * kPixelScale >= kMinFocalLengthPx &&
                  kFocalLength * kPixelScale <= kMaxFocalLengthPx,
              "RO_CAMERA_FOCAL_LENGTH times RO_CAMERA_PIXELS_PER_METRE: 1 to 1e6 px");
static_assert(kPrincipalColumnCamera1 >= 0 && kPrincipalColumnCamera1 <= kMaxPrincipalPointPx &&
                  kPrincipalRowCamera1 >= 0 && kPrincipalRowCamera1 <= kMaxPrincipalPointPx,
              "RO_CAMERA_PRINCIPAL_I and _J: 0 to 1e5 px");

}  // namespace ro
