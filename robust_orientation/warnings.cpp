// The warnings of an orientation.
#include "robust_orientation/warnings.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "common/angles.h"

namespace ro {
namespace {

using common::kDegreesPerRadian;

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

void Add(std::vector<Warning>* warnings, const char* code, std::string message, double value) {
    warnings->push_back({code, std::move(message), value});
}

// Whether the run has a base at all: not for a rotation only.
bool HasBase(const OrientationResult& r) {
    return r.geometry.configuration != Configuration::rotation_only;
}

void GeometryWarnings(const OrientationResult& r, std::vector<Warning>* out) {
    const GeometryFigures& g = r.geometry;
    if (g.configuration == Configuration::planar) {
        Add(out, "W-PLANAR",
            Format("a homography explains %.0f %% of the inliers: near-planar scene, the "
                   "orientation is weakly determined",
                   100.0 * g.h_over_e_inlier_ratio),
            g.h_over_e_inlier_ratio);
    }
    if (g.configuration == Configuration::rotation_only) {
        Add(out, "W-ROTATION-ONLY",
            "the photographs differ by a rotation only (no parallax): the base is undefined",
            g.rotation_only_measure);
    }
    if (!HasBase(r)) return;
    const double base_x = std::fabs(g.base_unit.x());
    if (IsBaseAcross(g.base_unit)) {
        Add(out, "W-BASE-ACROSS",
            Format("the base runs across the photograph, along its rows (|bX|/|B| = %.3f): the "
                   "elements by and bz (bx = 1) are not defined; the unit base direction "
                   "(%.4f, %.4f, %.4f) and the rotation state the orientation",
                   base_x, g.base_unit.x(), g.base_unit.y(), g.base_unit.z()),
            base_x);
    }
    if (IsForwardMotion(g.base_unit)) {
        Add(out, "W-FORWARD-MOTION",
            Format("the base runs along the viewing direction (|bX|/|B| = %.3f): the epipole "
                   "lies in the photograph, points near it are weakly determined; use the unit "
                   "base direction (%.4f, %.4f, %.4f)",
                   base_x, g.base_unit.x(), g.base_unit.y(), g.base_unit.z()),
            base_x);
    }
    if (g.base_unit.x() < 0.0) {
        Add(out, "W-BASE-REVERSED",
            "camera 2 lies at negative X of camera 1: the elements (bx = 1) describe the "
            "opposite base; the unit base direction gives the true one",
            g.base_unit.x());
    }
    if (g.median_intersection_angle_rad < kWeakIntersectionRad) {
        Add(out, "W-WEAK-INTERSECTION",
            Format("median intersection angle %.2f deg: the base is short for the distance",
                   g.median_intersection_angle_rad * kDegreesPerRadian),
            g.median_intersection_angle_rad * kDegreesPerRadian);
    }
    if (g.gruber_regions_covered < static_cast<int>(g.gruber_counts.size())) {
        Add(out, "W-GRUBER-COVERAGE",
            Format("only %d of the %zu von Gruber regions hold %d or more inliers: some "
                   "elements rest on few points",
                   g.gruber_regions_covered, g.gruber_counts.size(), kMinPointsPerGruberRegion),
            g.gruber_regions_covered);
    }
}

void CorrelationWarnings(const OrientationResult& r, std::vector<Warning>* out) {
    if (!HasBase(r)) return;
    const Matrix5d& c = r.precision.correlation;
    const double by_omega = c(0, 2);
    if (std::fabs(by_omega) > kByOmegaCorrelationLimit) {
        Add(out, "W-CORR-BY-OMEGA",
            Format("|r(by,omega)| = %.3f: by and omega are poorly separable", std::fabs(by_omega)),
            by_omega);
    }
    int worst_row = -1;
    int worst_col = -1;
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < i; ++j) {
            if (i == 2 && j == 0) continue;
            if (std::fabs(c(i, j)) > kCorrelationLimit &&
                (worst_row < 0 || std::fabs(c(i, j)) > std::fabs(c(worst_row, worst_col)))) {
                worst_row = i;
                worst_col = j;
            }
        }
    }
    if (worst_row >= 0) {
        Add(out, "W-CORR-HIGH",
            Format("|r(%s,%s)| = %.3f: these elements are poorly separable",
                   kElementNames[worst_col], kElementNames[worst_row],
                   std::fabs(c(worst_row, worst_col))),
            c(worst_row, worst_col));
    }
}

void StatisticsWarnings(const OrientationResult& r, bool snooping_limit, bool converged,
                        std::vector<Warning>* out) {
    const AdjustmentSummary& a = r.adjustment;
    if (!a.chi2.accepted && HasBase(r)) {
        const bool high = a.chi2.ratio > a.chi2.upper;
        Add(out, "W-SIGMA0-REJECTED",
            Format("sigma0 = %.3f px is %s than the a-priori %.3f px allows (chi-square test, "
                   "alpha %.0f %%)%s",
                   a.sigma0_px, high ? "larger" : "smaller", a.sigma_apriori_px,
                   100.0 * a.chi2.alpha,
                   high ? ": undetected false matches or a too optimistic --sigma"
                        : ": --sigma is too pessimistic"),
            a.sigma0_px);
    }
    if (r.second.found) {
        Add(out, "W-SECOND-SOLUTION",
            Format("another solution, its rotation %.2f deg and its base %.2f deg away (%.1f "
                   "sigmas), fits the tie points almost as well (score %.1f sigma^2 higher): "
                   "the orientation may be ambiguous",
                   r.second.rotation_difference_rad * kDegreesPerRadian,
                   r.second.base_difference_rad * kDegreesPerRadian, r.second.sigmas_apart,
                   r.second.score_increase),
            r.second.score_increase);
    }
    if (snooping_limit) {
        Add(out, "W-SNOOPING-LIMIT",
            Format("data snooping stopped after %d rejections with points still flagged: the "
                   "a-priori sigma may be far too small",
                   a.rejected),
            a.rejected);
    }
    if (!converged) {
        Add(out, "W-NOT-CONVERGED",
            "the last adjustment round did not converge within its iterations: the elements "
            "may not be at the least-squares minimum",
            a.iterations);
    }
}

}  // namespace

bool IsBaseAcross(const Eigen::Vector3d& base) {
    return std::fabs(base.x()) < kForwardMotionBaseX * base.norm() &&
           std::fabs(base.y()) >= std::fabs(base.z());
}

bool IsForwardMotion(const Eigen::Vector3d& base) {
    return std::fabs(base.x()) < kForwardMotionBaseX * base.norm() &&
           std::fabs(base.z()) > std::fabs(base.y());
}

std::vector<Warning> CollectWarnings(const OrientationResult& result, bool snooping_limit,
                                     bool converged) {
    std::vector<Warning> warnings;
    const AdjustmentSummary& a = result.adjustment;
    if (a.points_used < kFewInliers || a.redundancy < kLowRedundancy) {
        Add(&warnings, "W-FEW-INLIERS",
            Format("only %d points adjusted (redundancy %d): the standard deviations rest on "
                   "little evidence",
                   a.points_used, a.redundancy),
            a.points_used);
    }
    GeometryWarnings(result, &warnings);
    CorrelationWarnings(result, &warnings);
    StatisticsWarnings(result, snooping_limit, converged, &warnings);
    return warnings;
}

}  // namespace ro
