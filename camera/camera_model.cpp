// The run-time camera model.
#include "camera/camera_model.h"

#include <cmath>

#include "camera/builtin_camera.h"

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

bool IsUsable(const Camera& camera) {
    return std::isfinite(camera.focal_length_m) && std::isfinite(camera.pixels_per_metre) &&
           std::isfinite(camera.principal_column_px) && std::isfinite(camera.principal_row_px) &&
           std::isfinite(camera.in_plane_angle_rad) && camera.focal_length_m > 0 &&
           camera.pixels_per_metre > 0;
}

}  // namespace ro
