// The robust orientation on arbitrary tie points: positions anywhere, non-finite values,
// duplicates, identical positions in both photographs, any a-priori sigma. Whatever the
// input, the estimation must end, return one record per tie point and, when it reports an
// orientation, finite elements with finite non-negative standard deviations.
//
// Input: one byte for the sigma, then 9 bytes per tie point: a flag byte and four 16-bit
// pixel coordinates (row 1, column 1, row 2, column 2, in 1/16 pixel). Flag bits 0-3
// replace the coordinate of that number by a special value (bits 6-7 choose NaN, +inf,
// -inf or 1e300); bit 4 repeats the previous tie point; bit 5 copies photograph 1's
// position into photograph 2.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "robust_orientation/estimate.h"

namespace {

constexpr std::size_t kRecordBytes = 9;
constexpr std::size_t kMaxTiePoints = 400;

double Special(unsigned choice) {
    switch (choice & 3U) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        default:
            return 1e300;
    }
}

std::vector<ro::TiePoint> TiePoints(const std::uint8_t* data, std::size_t size) {
    std::vector<ro::TiePoint> points;
    for (std::size_t at = 0; at + kRecordBytes <= size && points.size() < kMaxTiePoints;
         at += kRecordBytes) {
        const unsigned flags = data[at];
        if ((flags & 0x10U) != 0 && !points.empty()) {
            points.push_back(points.back());
            continue;
        }
        double v[4];
        for (int c = 0; c < 4; ++c) {
            std::uint16_t raw = 0;
            std::memcpy(&raw, data + at + 1 + 2 * c, sizeof raw);
            v[c] = (flags >> c & 1U) != 0 ? Special(flags >> 6) : raw / 16.0;
        }
        ro::TiePoint t;
        t.row1_px = v[0];
        t.col1_px = v[1];
        t.row2_px = (flags & 0x20U) != 0 ? v[0] : v[2];
        t.col2_px = (flags & 0x20U) != 0 ? v[1] : v[3];
        points.push_back(t);
    }
    return points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    ro::EstimationOptions options;
    options.sigma_px = 0.05 + data[0] / 64.0;
    options.ransac.max_iterations = 300;
    const std::vector<ro::TiePoint> points = TiePoints(data + 1, size - 1);
    const ro::OrientationResult r =
        ro::EstimateOrientation(points, ro::BuiltInCamera(), ro::BuiltInCamera(), options);
    FUZZ_CHECK(r.points.size() == points.size(), "one record per tie point");
    FUZZ_CHECK(r.robust.iterations <= options.ransac.max_iterations,
               "the robust loop keeps its limit");
    if (r.outcome != ro::Outcome::oriented) {
        FUZZ_CHECK(!r.reason.empty(), "a refusal says why");
        return 0;
    }
    FUZZ_CHECK(r.orientation.attitude.allFinite() && r.orientation.base.allFinite(),
               "a finite orientation");
    FUZZ_CHECK(std::fabs(r.orientation.base.norm() - 1.0) < 1e-9, "a unit base");
    // by and bz (and their sigmas) exist only for a base with an X component.
    const std::size_t first = r.precision.elements_defined ? 0 : 2;
    const std::array<double, 5> elements = r.elements.AsArray();
    for (std::size_t k = first; k < 5; ++k) {
        FUZZ_CHECK(std::isfinite(elements[k]), "finite elements");
        FUZZ_CHECK(std::isfinite(r.precision.sigma[k]) && r.precision.sigma[k] >= 0.0,
                   "finite sigmas");
    }
    for (const double s : r.precision.base_sigma) FUZZ_CHECK(std::isfinite(s), "base sigmas");
    int inliers = 0;
    for (const ro::PointResult& p : r.points)
        inliers += p.status == ro::PointStatus::inlier ? 1 : 0;
    FUZZ_CHECK(inliers == r.adjustment.points_used, "the inliers are the adjusted points");
    FUZZ_CHECK(r.adjustment.redundancy == r.adjustment.points_used - 5, "redundancy n - 5");
    return 0;
}
