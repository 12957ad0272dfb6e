// The run-time camera model.
#include "camera/camera_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

#include "camera/builtin_camera.h"
#include "camera/distortion.h"
#include "common/angles.h"

namespace ro {

ImagePoint Camera::ToImagePlane(double column_px, double row_px) const {
    if (!IsPlain()) return ToImagePlane(column_px, row_px, nullptr);
    const double cos_theta = std::cos(in_plane_angle_rad);
    const double sin_theta = std::sin(in_plane_angle_rad);
    const double di = column_px - principal_column_px;
    const double dj = row_px - principal_row_px;
    // The image-plane y axis runs upwards, against the row index.
    return {(cos_theta / pixels_per_metre) * di + (sin_theta / pixels_per_metre) * dj,
            di * (sin_theta / pixels_per_metre) - dj * (cos_theta / pixels_per_metre)};
}

ImagePoint Camera::ToImagePlane(double column_px, double row_px, PlaneJacobian* jacobian) const {
    const double cos_theta = std::cos(in_plane_angle_rad);
    const double sin_theta = std::sin(in_plane_angle_rad);
    if (IsPlain()) {
        if (jacobian != nullptr) {
            *jacobian = {cos_theta / pixels_per_metre, sin_theta / pixels_per_metre,
                         sin_theta / pixels_per_metre, -cos_theta / pixels_per_metre};
        }
        return ToImagePlane(column_px, row_px);
    }
    const double fx = FocalLengthPx();
    const double fy = fx * row_scale;
    const double xd = (column_px - principal_column_px) / fx;
    const double yd = (row_px - principal_row_px) / fy;
    UndistortedPoint u{xd, yd, {}};
    if (!distortion.IsZero()) {
        const std::optional<UndistortedPoint> undone =
            Undistort(distortion, xd, yd, kUndistortTolerancePx / std::max(fx, fy));
        // A preimage where the map has folded over is no undistortion.
        if (!undone || !(undone->forward.Determinant() > 0.0)) {
            constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
            if (jacobian != nullptr) *jacobian = {kNaN, kNaN, kNaN, kNaN};
            return {kNaN, kNaN};
        }
        u = *undone;
    }
    const double f = focal_length_m;
    if (jacobian != nullptr) {
        // d(xu, yu) / d(column, row): the inverse of the forward map's derivative, its
        // columns divided by fx and fy.
        const DistortedPoint& d = u.forward;
        const double det = d.Determinant();
        const double a11 = d.dy_dy / (det * fx);
        const double a12 = -d.dx_dy / (det * fy);
        const double a21 = -d.dy_dx / (det * fx);
        const double a22 = d.dx_dx / (det * fy);
        *jacobian = {
            f * (cos_theta * a11 + sin_theta * a21), f * (cos_theta * a12 + sin_theta * a22),
            f * (sin_theta * a11 - cos_theta * a21), f * (sin_theta * a12 - cos_theta * a22)};
    }
    return {f * (cos_theta * u.x + sin_theta * u.y), f * (sin_theta * u.x - cos_theta * u.y)};
}

Camera::PixelPoint Camera::ToPixel(const ImagePoint& point) const {
    const double cos_theta = std::cos(in_plane_angle_rad);
    const double sin_theta = std::sin(in_plane_angle_rad);
    if (!IsPlain()) {
        // The turn onto the pixel axes is its own inverse; then the forward distortion.
        const double f = focal_length_m;
        const double xn = (cos_theta * point.x_m + sin_theta * point.y_m) / f;
        const double yn = (sin_theta * point.x_m - cos_theta * point.y_m) / f;
        const DistortedPoint d = Distort(distortion, xn, yn);
        const double fx = FocalLengthPx();
        return {principal_column_px + fx * d.x, principal_row_px + fx * row_scale * d.y};
    }
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
    // A camera given in pixels holds a nominal pixel size: only its focal length in pixels
    // was given.
    const double focal_mm = camera.focal_length_m * 1000.0;
    if (!camera.in_pixels && outside(focal_mm, kMinFocalLengthMm, kMaxFocalLengthMm)) {
        return say("focal length", focal_mm, kMinFocalLengthMm, kMaxFocalLengthMm, "mm");
    }
    if (!camera.in_pixels &&
        outside(camera.pixels_per_metre, 1e6 / kMaxPixelSizeUm, 1e6 / kMinPixelSizeUm)) {
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
    if (outside(camera.row_scale, kMinRowScale, kMaxRowScale)) {
        std::snprintf(text, sizeof text,
                      "the pixel's height over its width (fy / fx) is %g; it must lie between %g "
                      "and %g",
                      camera.row_scale, kMinRowScale, kMaxRowScale);
        return text;
    }
    const Distortion& d = camera.distortion;
    for (const auto& [name, value] :
         {std::pair{"k1", d.k1}, std::pair{"k2", d.k2}, std::pair{"k3", d.k3},
          std::pair{"p1", d.p1}, std::pair{"p2", d.p2}}) {
        if (!std::isfinite(value)) {
            std::snprintf(text, sizeof text,
                          "the distortion coefficient %s is %g; it must be a finite number", name,
                          value);
            return text;
        }
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
