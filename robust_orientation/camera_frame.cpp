// Whether the tie points fit the cameras.
#include "robust_orientation/camera_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace ro {
namespace {

using common::kDegreesPerRadian;

// The box of one photograph's finite tie points and their widest angle from the axis.
struct Spread {
    double col_min = std::numeric_limits<double>::infinity();
    double col_max = -std::numeric_limits<double>::infinity();
    double row_min = std::numeric_limits<double>::infinity();
    double row_max = -std::numeric_limits<double>::infinity();
    double max_off_axis_rad = 0.0;
    bool any = false;
};

Spread SpreadOf(std::span<const TiePoint> tie_points, std::span<const Observation> observations,
                const Camera& camera, bool second) {
    Spread s;
    const double focal_m = camera.focal_length_m;
    for (std::size_t k = 0; k < tie_points.size(); ++k) {
        const TiePoint& t = tie_points[k];
        const double col = second ? t.col2_px : t.col1_px;
        const double row = second ? t.row2_px : t.row1_px;
        if (!std::isfinite(col) || !std::isfinite(row)) continue;
        s.any = true;
        s.col_min = std::min(s.col_min, col);
        s.col_max = std::max(s.col_max, col);
        s.row_min = std::min(s.row_min, row);
        s.row_max = std::max(s.row_max, row);
        const Observation& o = observations[k];
        const double radius_m = second ? std::hypot(o.x2_m, o.y2_m) : std::hypot(o.x1_m, o.y1_m);
        s.max_off_axis_rad = std::max(s.max_off_axis_rad, std::atan2(radius_m, focal_m));
    }
    return s;
}

// How far beyond the frame (as a share of its size) the points reach; 0 inside it.
double Overreach(const Spread& s, const FrameSize& frame) {
    const double beyond_columns = std::max(-0.5 - s.col_min, s.col_max - (frame.columns_px - 0.5));
    const double beyond_rows = std::max(-0.5 - s.row_min, s.row_max - (frame.rows_px - 0.5));
    return std::max({0.0, beyond_columns / frame.columns_px, beyond_rows / frame.rows_px});
}

}  // namespace

FrameSize ImpliedFrame(const Camera& camera) {
    return {2.0 * camera.principal_column_px + 1.0, 2.0 * camera.principal_row_px + 1.0};
}

std::vector<Warning> CameraFrameWarnings(std::span<const TiePoint> tie_points,
                                         std::span<const Observation> observations,
                                         const Camera& camera1, const Camera& camera2) {
    std::vector<Warning> warnings;
    for (int photograph = 1; photograph <= 2; ++photograph) {
        const Camera& camera = photograph == 1 ? camera1 : camera2;
        const Spread s = SpreadOf(tie_points, observations, camera, photograph == 2);
        if (!s.any) continue;
        const FrameSize frame = ImpliedFrame(camera);
        const double overreach = Overreach(s, frame);
        const double field_rad = 2.0 * s.max_off_axis_rad;
        const bool beyond = overreach > kFrameMargin;
        const bool too_wide = field_rad > kMaxFieldOfViewRad;
        if (!beyond && !too_wide) continue;
        char text[400];
        std::snprintf(text, sizeof text,
                      "the tie points of photograph %d span %.0f x %.0f px (columns %.0f to %.0f, "
                      "rows %.0f to %.0f), a field of view of %.0f deg at its focal length of "
                      "%.0f px; camera %d implies a %.0f x %.0f px frame (twice its principal "
                      "point): the camera does not fit the photograph",
                      photograph, s.col_max - s.col_min, s.row_max - s.row_min, s.col_min,
                      s.col_max, s.row_min, s.row_max, field_rad * kDegreesPerRadian,
                      camera.FocalLengthPx(), photograph, frame.columns_px, frame.rows_px);
        warnings.push_back(
            {"W-CAMERA-FRAME", text, beyond ? overreach : field_rad * kDegreesPerRadian});
    }
    return warnings;
}

}  // namespace ro
