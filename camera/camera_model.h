// The interior orientation of a camera as a run-time value: the same model as the camera
// built into `relative` (pixel scale, principal point, in-plane angle, focal length), so that
// `orient` can take another camera for each photograph.
//
// Pixel position (i, j) is (column, row), rows growing downwards, the centre of the top-left
// pixel at (0, 0). Image-plane coordinates (x, y) are metres from the principal point, x to
// the right, y upwards (against the row). The image plane lies at z = -f in the camera's
// frame, so the ray of an image point is (x, y, -f).
#pragma once

namespace ro {

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

// True when every value is finite and the focal length and pixel scale are positive.
bool IsUsable(const Camera& camera);

}  // namespace ro
