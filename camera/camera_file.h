// Camera files: the interior orientation of one camera as `key = value` lines, in one of two
// forms that are never mixed in one file.
//
//   # photogrammetric: the camera built into relative
//   focal_length_mm  = 13.2
//   pixels_per_metre = 135135.1351        (or: pixel_size_um = 7.4, exactly one of the two)
//   principal_point  = 959.5 511.5        (column, row in pixels)
//   in_plane_angle_deg = 0                (optional, default 0)
//
//   # computer vision: the camera matrix's fx fy cx cy
//   focal_length_px  = 1402.5 1404.1      (fx, and fy when the pixels are not square)
//   principal_point  = 959.5 511.5        (cx cy)
//
// Both forms take in_plane_angle_deg and the distortion coefficients k1, k2, k3, p1, p2
// (each optional, default 0; camera_model.h). A file with focal_length_px gives a camera in
// pixels (Camera::in_pixels, a nominal 1 um pixel) with row_scale = FY / FX.
//
// A `#` starts a comment that runs to the end of the line; blank lines are ignored. Keys
// are case-sensitive. Every value must be a finite decimal number filling its field, within
// the ranges of camera_model.h: focal length 0.1 to 10000 mm, pixels of 0.1 to 1000 um
// (1000 to 1e7 pixels per metre), the focal length in pixels 1 to 1e6 px (in the metric
// form the quotient of the two), principal point column and row 0 to 1e5 px, in-plane
// angle -360 to 360 degrees, distortion coefficients -1e4 to 1e4. An unknown key that
// resembles a known one or another tool's name is refused with a hint ("unknown key 'fx'
// (for a focal length in pixels write 'focal_length_px = FX [FY]')").
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "camera/camera_model.h"

namespace ro {

// Why a camera file was refused: the line (1-based; for a missing key the last line of the
// file, 0 for an empty file) and the reason, e.g. "unknown key 'focal_mm'".
struct CameraFileError {
    int line = 0;
    std::string reason;
};

using CameraFileResult = std::variant<Camera, CameraFileError>;

// Parses the text of a camera file. Never throws on bad text.
CameraFileResult ParseCameraText(std::string_view text);

// The text of a camera file that describes `camera` (the form of its in_pixels, distortion
// coefficients that are not 0) in the shortest decimals that give back exactly the camera
// read: ParseCameraText(FormatCameraText(c)) is c for every camera c a file gave.
std::string FormatCameraText(const Camera& camera);

}  // namespace ro
