// Camera files: the interior orientation of one camera as `key = value` lines.
//
//   # the camera built into relative
//   focal_length_mm  = 13.2
//   pixels_per_metre = 135135.1351        (or: pixel_size_um = 7.4, exactly one of the two)
//   principal_point  = 959.5 511.5        (column, row in pixels)
//   in_plane_angle_deg = 0                (optional, default 0)
//
// A `#` starts a comment that runs to the end of the line; blank lines are ignored. Keys
// are case-sensitive. Every value must be a finite decimal number filling its field, within
// the ranges of camera_model.h: focal length 0.1 to 10000 mm, pixels of 0.1 to 1000 um
// (1000 to 1e7 pixels per metre), their quotient 1 to 1e6 px, principal point column and
// row 0 to 1e5 px, in-plane angle -360 to 360 degrees.
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

// The text of a camera file that describes `camera` (used to document the built-in one).
std::string FormatCameraText(const Camera& camera);

}  // namespace ro
