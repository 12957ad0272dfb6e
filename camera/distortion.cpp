// Lens distortion, its inverse and the check that it can be undone over a frame.
#include "camera/distortion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ro {
namespace {

constexpr int kMaxNewtonSteps = 50;
constexpr int kMaxHalvings = 30;
// The check's grid: this many cells across the frame each way, and this many steps along
// each edge of its border (where a fold shows first).
constexpr int kGridCells = 64;
constexpr int kBorderSteps = 256;
// Steps on the way from the principal point out to a border point's preimage.
constexpr int kPathSteps = 32;

}  // namespace

DistortedPoint Distort(const Distortion& d, double xn, double yn) {
    const double xx = xn * xn;
    const double yy = yn * yn;
    const double xy = xn * yn;
    const double r2 = xx + yy;
    const double radial = 1.0 + r2 * (d.k1 + r2 * (d.k2 + r2 * d.k3));
    // d radial / d r^2; r^2 changes by 2 xn and 2 yn.
    const double radial_slope = d.k1 + r2 * (2.0 * d.k2 + 3.0 * d.k3 * r2);
    DistortedPoint p;
    p.x = xn * radial + 2.0 * d.p1 * xy + d.p2 * (r2 + 2.0 * xx);
    p.y = yn * radial + d.p1 * (r2 + 2.0 * yy) + 2.0 * d.p2 * xy;
    const double cross = 2.0 * xy * radial_slope + 2.0 * d.p1 * xn + 2.0 * d.p2 * yn;
    p.dx_dx = radial + 2.0 * xx * radial_slope + 2.0 * d.p1 * yn + 6.0 * d.p2 * xn;
    p.dx_dy = cross;
    p.dy_dx = cross;
    p.dy_dy = radial + 2.0 * yy * radial_slope + 6.0 * d.p1 * yn + 2.0 * d.p2 * xn;
    return p;
}

std::optional<UndistortedPoint> Undistort(const Distortion& distortion, double xd, double yd,
                                          double tolerance) {
    // Squared distances: the loop runs for every tie point.
    const auto error_sq = [&](const DistortedPoint& p) {
        return (p.x - xd) * (p.x - xd) + (p.y - yd) * (p.y - yd);
    };
    const double tolerance_sq = tolerance * tolerance;
    double x = xd;
    double y = yd;
    DistortedPoint f = Distort(distortion, x, y);
    double error = error_sq(f);
    for (int step = 0; step < kMaxNewtonSteps; ++step) {
        if (error <= tolerance_sq) return UndistortedPoint{x, y, f};
        const double det = f.Determinant();
        if (!(det != 0.0) || !std::isfinite(det)) return std::nullopt;
        const double ex = f.x - xd;
        const double ey = f.y - yd;
        const double dx = -(f.dy_dy * ex - f.dx_dy * ey) / det;
        const double dy = -(-f.dy_dx * ex + f.dx_dx * ey) / det;
        // Halve the step until it brings the point closer: far out, a full Newton step of
        // a strong polynomial may overshoot.
        double t = 1.0;
        bool closer = false;
        for (int h = 0; h < kMaxHalvings && !closer; ++h, t *= 0.5) {
            const DistortedPoint g = Distort(distortion, x + t * dx, y + t * dy);
            const double e = error_sq(g);
            if (e < error) {
                x += t * dx;
                y += t * dy;
                f = g;
                error = e;
                closer = true;
            }
        }
        if (!closer) break;
    }
    if (error <= tolerance_sq) return UndistortedPoint{x, y, f};
    return std::nullopt;
}

std::string DistortionProblem(const Camera& camera, double columns, double rows) {
    if (camera.distortion.IsZero()) return {};
    const double fx = camera.FocalLengthPx();
    const double fy = fx * camera.row_scale;
    const double tolerance = kUndistortTolerancePx / std::max(fx, fy);
    char text[200];
    // Whether the distortion cannot be undone at a point of the frame; on the border, also
    // whether the forward map folds anywhere on the way out to it from the principal point
    // (a point beyond a fold may have a preimage where the map is regular again, the map
    // not one-to-one: the border's preimages must enclose a region without a fold).
    const auto check = [&](double column, double row, bool border) {
        const double xd = (column - camera.principal_column_px) / fx;
        const double yd = (row - camera.principal_row_px) / fy;
        const std::optional<UndistortedPoint> u = Undistort(camera.distortion, xd, yd, tolerance);
        bool regular = u && u->forward.Determinant() > 0.0;
        for (int k = 1; regular && border && k < kPathSteps; ++k) {
            const double s = static_cast<double>(k) / kPathSteps;
            regular = Distort(camera.distortion, s * u->x, s * u->y).Determinant() > 0.0;
        }
        if (regular) return false;
        std::snprintf(text, sizeof text,
                      u ? "the distortion folds over inside the %g x %g px frame (at column %g, "
                          "row %g)"
                        : "the distortion cannot be undone inside the %g x %g px frame (its "
                          "inverse does not converge at column %g, row %g)",
                      columns, rows, column, row);
        return true;
    };
    // The frame reaches half a pixel beyond the outer pixel centres.
    const double left = -0.5;
    const double top = -0.5;
    const double right = columns - 0.5;
    const double bottom = rows - 0.5;
    for (int k = 0; k <= kBorderSteps; ++k) {
        const double s = static_cast<double>(k) / kBorderSteps;
        const double column = left + s * (right - left);
        const double row = top + s * (bottom - top);
        if (check(column, top, true) || check(column, bottom, true) || check(left, row, true) ||
            check(right, row, true)) {
            return text;
        }
    }
    for (int i = 1; i < kGridCells; ++i) {
        for (int j = 1; j < kGridCells; ++j) {
            const double column = left + (right - left) * i / kGridCells;
            const double row = top + (bottom - top) * j / kGridCells;
            if (check(column, row, false)) return text;
        }
    }
    return {};
}

}  // namespace ro
