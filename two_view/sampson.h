// The Sampson error of a correspondence under a bilinear constraint x2^T M x1 = 0: an
// essential matrix on normalised points, a fundamental matrix on pixels, or the coplanarity
// condition of two image rays. Conventions: two_view.h.
//
// The error is the first-order distance of the observed image coordinates from the nearest
// ones that satisfy the constraint: for r = x2^T M x1 and its gradient g by the first two
// coordinates of x1 and of x2,
//
//     d = r / |g|,   |g|^2 = |(M^T x2)_12|^2 / s1^2 + |(M x1)_12|^2 / s2^2,
//
// where s1 and s2 are the scales of the two images: how many units of the measured
// coordinates (pixels) one unit of x1 and of x2 spans. With s the focal lengths in pixels and
// normalised points, d is in pixels. The third coordinates of x1 and x2 are held fixed
// (normalised points have 1 there; image-plane rays (x, y, -f) have -f); M's scale does not
// matter. This is the one Sampson error of the project: the robust loops score with it, the
// adjustment minimises it.
//
// When the measured coordinates map onto x1 and x2 by other than a scaled rotation (lens
// distortion, non-square pixels), each point has its own metric instead of the scale: for J
// the derivative of (x, y) by the measured coordinates at the point, W = J J^T and
//
//     |g|^2 = (M^T x2)_12^T W1 (M^T x2)_12 + (M x1)_12^T W2 (M x1)_12,
//
// so that d stays in measured units (a scale s is the metric I / s^2).
//
// At the epipoles the gradient vanishes. There d is 0 when r is 0 as well (the
// correspondence fits every line through the epipole) and infinite otherwise, never the
// NaN of 0 / 0.
#pragma once

#include <Eigen/Core>
#include <cmath>
#include <limits>

namespace two_view {

// r and |g|^2 of a correspondence (see above); what the functions below are made of. The
// robust loops call SampsonErrorSquared for every point of every hypothesis, so these are
// inline.
struct SampsonTerms {
    double r = 0.0;
    double gradient_sq = 0.0;
};

// The metric W of one image at one point: a symmetric 2 x 2 matrix (see above).
struct SampsonMetric {
    double xx = 1.0;
    double xy = 0.0;
    double yy = 1.0;

    // a^T W a of the first two coordinates of a.
    double Of(const Eigen::Vector3d& a) const {
        return xx * a.x() * a.x() + 2.0 * xy * a.x() * a.y() + yy * a.y() * a.y();
    }
    // (W a_12, 0).
    Eigen::Vector3d Times(const Eigen::Vector3d& a) const {
        return {xx * a.x() + xy * a.y(), xy * a.x() + yy * a.y(), 0.0};
    }
};

inline SampsonTerms SampsonTermsOf(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                                   const Eigen::Vector3d& x2, double scale1, double scale2) {
    const Eigen::Vector3d m_x1 = M * x1;
    const Eigen::Vector3d mt_x2 = M.transpose() * x2;
    return {x2.dot(m_x1), mt_x2.head<2>().squaredNorm() / (scale1 * scale1) +
                              m_x1.head<2>().squaredNorm() / (scale2 * scale2)};
}

inline SampsonTerms SampsonTermsOf(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                                   const Eigen::Vector3d& x2, const SampsonMetric& w1,
                                   const SampsonMetric& w2) {
    const Eigen::Vector3d m_x1 = M * x1;
    const Eigen::Vector3d mt_x2 = M.transpose() * x2;
    return {x2.dot(m_x1), w1.Of(mt_x2) + w2.Of(m_x1)};
}

// d from its terms (see SampsonError).
inline double SampsonErrorOf(const SampsonTerms& t) {
    if (t.gradient_sq > 0.0 && t.gradient_sq < std::numeric_limits<double>::infinity()) {
        return t.r / std::sqrt(t.gradient_sq);
    }
    if (!std::isfinite(t.r) || !std::isfinite(t.gradient_sq)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return t.r == 0.0 ? 0.0 : std::copysign(std::numeric_limits<double>::infinity(), t.r);
}

// d^2 from its terms (see SampsonErrorSquared).
inline double SampsonErrorSquaredOf(const SampsonTerms& t) {
    if (t.gradient_sq > 0.0) {
        const double e = t.r * t.r / t.gradient_sq;
        return e <= std::numeric_limits<double>::max() ? e
                                                       : std::numeric_limits<double>::infinity();
    }
    return t.r == 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
}

// d, signed with r: 0 or +-infinity where the gradient vanishes (see above), NaN when an
// input is not finite.
inline double SampsonError(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                           const Eigen::Vector3d& x2, double scale1 = 1.0, double scale2 = 1.0) {
    return SampsonErrorOf(SampsonTermsOf(M, x1, x2, scale1, scale2));
}

inline double SampsonError(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                           const Eigen::Vector3d& x2, const SampsonMetric& w1,
                           const SampsonMetric& w2) {
    return SampsonErrorOf(SampsonTermsOf(M, x1, x2, w1, w2));
}

// d^2: 0 or +infinity where the gradient vanishes, +infinity when an input is not finite.
inline double SampsonErrorSquared(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                                  const Eigen::Vector3d& x2, double scale1 = 1.0,
                                  double scale2 = 1.0) {
    return SampsonErrorSquaredOf(SampsonTermsOf(M, x1, x2, scale1, scale2));
}

inline double SampsonErrorSquared(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                                  const Eigen::Vector3d& x2, const SampsonMetric& w1,
                                  const SampsonMetric& w2) {
    return SampsonErrorSquaredOf(SampsonTermsOf(M, x1, x2, w1, w2));
}

// The derivative of d by the nine entries of M, in the factored form
//
//     dd / dM = x2 p^T + q x1^T,   so that a change dM changes d by x2^T dM p + q^T dM x1,
//
// which an adjustment chains with dM / dp in a few vector products per residual instead of
// nine products per parameter.
struct SampsonGradient {
    Eigen::Vector3d p = Eigen::Vector3d::Zero();
    Eigen::Vector3d q = Eigen::Vector3d::Zero();

    // dd / dM(i, j), for tests and small problems.
    Eigen::Matrix3d Matrix(const Eigen::Vector3d& x1, const Eigen::Vector3d& x2) const {
        return x2 * p.transpose() + q * x1.transpose();
    }
};

// d with its derivative by M written to *gradient; where the gradient of r vanishes, the
// derivative is zero. Inline too: the adjustment calls it for every residual of every step.
//
//   d = r / s with s = sqrt(|g|^2):
//   dr / dM = x2 x1^T,
//   d|g|^2 / dM = 2 x2 (a1, a2, 0) / s1^2 + 2 (b1, b2, 0)^T x1^T / s2^2
// for a = M^T x2 and b = M x1 (a_j depends on column j of M, b_i on row i), so
//   dd / dM = dr / dM / s - r / (2 s^3) d|g|^2 / dM
//           = x2 (x1 / s - k a')^T + (-k b') x1^T,   k = r / s^3,
// with a' = (a1, a2, 0) / s1^2 and b' = (b1, b2, 0) / s2^2.
inline double SampsonErrorWithGradient(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                                       const Eigen::Vector3d& x2, double scale1, double scale2,
                                       SampsonGradient* gradient) {
    const Eigen::Vector3d m_x1 = M * x1;
    const Eigen::Vector3d mt_x2 = M.transpose() * x2;
    const double r = x2.dot(m_x1);
    const double w1 = 1.0 / (scale1 * scale1);
    const double w2 = 1.0 / (scale2 * scale2);
    const double gradient_sq =
        mt_x2.head<2>().squaredNorm() * w1 + m_x1.head<2>().squaredNorm() * w2;
    if (!(gradient_sq > 0.0 && gradient_sq < std::numeric_limits<double>::infinity())) {
        *gradient = {};
        return SampsonError(M, x1, x2, scale1, scale2);
    }
    const double s = std::sqrt(gradient_sq);
    const double k = r / (s * gradient_sq);
    gradient->p = x1 / s - Eigen::Vector3d(k * w1 * mt_x2.x(), k * w1 * mt_x2.y(), 0.0);
    gradient->q = Eigen::Vector3d(-k * w2 * m_x1.x(), -k * w2 * m_x1.y(), 0.0);
    return r / s;
}

// The same with the metrics W1 and W2: a' = (W1 a, 0) and b' = (W2 b, 0) above.
inline double SampsonErrorWithGradient(const Eigen::Matrix3d& M, const Eigen::Vector3d& x1,
                                       const Eigen::Vector3d& x2, const SampsonMetric& w1,
                                       const SampsonMetric& w2, SampsonGradient* gradient) {
    const Eigen::Vector3d m_x1 = M * x1;
    const Eigen::Vector3d mt_x2 = M.transpose() * x2;
    const double r = x2.dot(m_x1);
    const double gradient_sq = w1.Of(mt_x2) + w2.Of(m_x1);
    if (!(gradient_sq > 0.0 && gradient_sq < std::numeric_limits<double>::infinity())) {
        *gradient = {};
        return SampsonErrorOf({r, gradient_sq});
    }
    const double s = std::sqrt(gradient_sq);
    const double k = r / (s * gradient_sq);
    gradient->p = x1 / s - k * w1.Times(mt_x2);
    gradient->q = -k * w2.Times(m_x1);
    return r / s;
}

}  // namespace two_view
