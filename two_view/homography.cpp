#include "two_view/homography.h"

#include <Eigen/Geometry>
#include <Eigen/LU>
#include <Eigen/SVD>
#include <cmath>
#include <limits>

#include "two_view/linear_null_vector.h"
#include "two_view/point_normalization.h"

namespace two_view {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kCollinear = 1e-10;

// A homography scaled to Frobenius norm 1 whose |det| is below this is taken as singular:
// it maps the plane onto a line (the points of one image were collinear).
constexpr double kSingular = 1e-14;

// Frobenius norm 1 and det > 0; false when H is singular or not finite.
bool Standardise(Eigen::Matrix3d* H) {
    const double norm = H->norm();
    if (!(norm > 0.0) || !std::isfinite(norm)) return false;
    *H /= norm;
    const double det = H->determinant();
    if (!(std::abs(det) > kSingular)) return false;
    if (det < 0.0) *H = -*H;
    return H->allFinite();
}

// The matrix that maps the standard basis e1, e2, e3 and (1, 1, 1) to the four points: the
// first three scaled by the coordinates of the fourth in their basis. False when three of
// the points are collinear.
bool BasisToPoints(const FourPoints& p, Eigen::Matrix3d* a) {
    FourPoints u;
    for (int i = 0; i < 4; ++i) {
        const double n = p[i].stableNorm();
        if (!(n > 0.0) || !std::isfinite(n)) return false;
        u[i] = p[i] / n;
    }
    constexpr int kTriples[4][3] = {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}};
    for (const auto& t : kTriples) {
        if (!(std::abs(u[t[0]].dot(u[t[1]].cross(u[t[2]]))) > kCollinear)) return false;
    }
    Eigen::Matrix3d m;
    m << u[0], u[1], u[2];
    const Eigen::Vector3d lambda = m.partialPivLu().solve(u[3]);
    *a = m * lambda.asDiagonal();
    return a->allFinite();
}

}  // namespace

bool SolveHomographyFourPoint(const FourPoints& x1, const FourPoints& x2, Eigen::Matrix3d* H) {
    Eigen::Matrix3d a1, a2;
    if (!BasisToPoints(x1, &a1) || !BasisToPoints(x2, &a2)) return false;
    Eigen::Matrix3d h = a2 * a1.inverse();
    if (!Standardise(&h)) return false;
    *H = h;
    return true;
}

bool SolveHomography(std::span<const Eigen::Vector3d> x1, std::span<const Eigen::Vector3d> x2,
                     Eigen::Matrix3d* H) {
    const std::size_t n = x1.size();
    if (n < 4 || x2.size() != n) return false;
    Eigen::Matrix3d t1, t2;
    if (!NormalizingTransform(x1, &t1) || !NormalizingTransform(x2, &t2)) return false;
    // Two rows of y2 x (H y1) = 0 per correspondence, h the entries of H row by row; with
    // four correspondences a zero row pads the system to nine rows.
    SystemRows a = SystemRows::Zero(static_cast<Eigen::Index>(n == 4 ? 9 : 2 * n), 9);
    for (std::size_t i = 0; i < n; ++i) {
        const Eigen::Vector3d y1 = ApplyNormalization(t1, x1[i]);
        const Eigen::Vector3d y2 = ApplyNormalization(t2, x2[i]);
        const auto r = static_cast<Eigen::Index>(2 * i);
        a.block<1, 3>(r, 3) = -y1.transpose();
        a.block<1, 3>(r, 6) = y2.y() * y1.transpose();
        a.block<1, 3>(r + 1, 0) = y1.transpose();
        a.block<1, 3>(r + 1, 6) = -y2.x() * y1.transpose();
    }
    Eigen::Matrix<double, 9, 1> h;
    if (!LinearNullVector(a, &h)) return false;
    const Eigen::Matrix3d conditioned =
        Eigen::Map<const Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(h.data());
    Eigen::Matrix3d result = t2.inverse() * conditioned * t1;
    if (!Standardise(&result)) return false;
    *H = result;
    return true;
}

double TransferErrorSquared(const Eigen::Matrix3d& H, const Eigen::Vector3d& x1,
                            const Eigen::Vector3d& x2) {
    const Eigen::Vector3d y = H * x1;
    if (y.z() == 0.0) return kInfinity;
    const double du = y.x() / y.z() - x2.x();
    const double dv = y.y() / y.z() - x2.y();
    const double e = du * du + dv * dv;
    return std::isfinite(e) ? e : kInfinity;
}

double SymmetricTransferErrorSquared(const Eigen::Matrix3d& H, const Eigen::Matrix3d& H_inverse,
                                     const Eigen::Vector3d& x1, const Eigen::Vector3d& x2) {
    return TransferErrorSquared(H, x1, x2) + TransferErrorSquared(H_inverse, x2, x1);
}

double PureRotationDeviation(const Eigen::Matrix3d& H) {
    if (!H.allFinite()) return kInfinity;
    const Eigen::Vector3d s = Eigen::JacobiSVD<Eigen::Matrix3d>(H).singularValues();
    if (!(s(1) > 0.0)) return kInfinity;
    const double d = (s(0) - s(2)) / s(1);
    return std::isfinite(d) ? d : kInfinity;
}

bool IsNearPureRotation(const Eigen::Matrix3d& H, double max_deviation, double* deviation) {
    const double d = PureRotationDeviation(H);
    if (deviation != nullptr) *deviation = d;
    return d <= max_deviation;
}

std::optional<Eigen::Matrix3d> NearestRotation(const Eigen::Matrix3d& H) {
    if (!H.allFinite()) return std::nullopt;
    const double det = H.determinant();
    if (!(std::abs(det) > 0.0)) return std::nullopt;
    const Eigen::Matrix3d m = det > 0.0 ? H : Eigen::Matrix3d(-H);
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(m, Eigen::ComputeFullU | Eigen::ComputeFullV);
    if (!(svd.singularValues()(2) > 0.0)) return std::nullopt;
    const Eigen::Matrix3d r = svd.matrixU() * svd.matrixV().transpose();
    if (!r.allFinite()) return std::nullopt;
    return r;
}

}  // namespace two_view
