#include "two_view/essential.h"

#include <Eigen/Geometry>
#include <Eigen/LU>
#include <Eigen/SVD>
#include <cmath>
#include <limits>

namespace two_view {
namespace {

// sin^2 of the largest angle between two rays still treated as parallel (1e-12 rad).
constexpr double kParallelSinSquared = 1e-24;

// Where the correspondence meets under a pose, as the two distances along the unit rays
// a = R x1 / |R x1| and b = x2 / |x2| that bring the rays closest, each multiplied by
// det = 1 - (a.b)^2 >= 0 (so that no division is needed to read their signs):
//   lambda1 a + t ~ lambda2 b  (least squares).
// Both numerators change sign with t.
struct ScaledDepths {
    double depth1 = 0.0;
    double depth2 = 0.0;
    double det = 0.0;
    double cos_angle = 0.0;  // a.b
    bool valid = false;      // false for zero or non-finite rays
};

ScaledDepths DepthsTimesDet(const Eigen::Matrix3d& R, const Eigen::Vector3d& t,
                            const Eigen::Vector3d& x1, const Eigen::Vector3d& x2) {
    ScaledDepths d;
    const Eigen::Vector3d a_raw = R * x1;
    const double na = a_raw.norm(), nb = x2.norm();
    if (!(na > 0.0 && nb > 0.0 && std::isfinite(na) && std::isfinite(nb))) return d;
    const Eigen::Vector3d a = a_raw / na;
    const Eigen::Vector3d b = x2 / nb;
    const double c = a.dot(b);
    const double at = a.dot(t), bt = b.dot(t);
    d.cos_angle = c;
    d.det = a.cross(b).squaredNorm();
    d.depth1 = c * bt - at;
    d.depth2 = bt - c * at;
    d.valid = std::isfinite(d.depth1) && std::isfinite(d.depth2) && std::isfinite(d.det);
    return d;
}

// Whether the point is in front of both cameras under (R, t), and under (R, -t).
struct FrontTest {
    bool plus = false;
    bool minus = false;
};

FrontTest InFrontBothSigns(const Eigen::Matrix3d& R, const Eigen::Vector3d& t,
                           const Eigen::Vector3d& x1, const Eigen::Vector3d& x2) {
    const ScaledDepths d = DepthsTimesDet(R, t, x1, x2);
    if (!d.valid) return {};
    if (d.det <= kParallelSinSquared) {
        const bool same_way = d.cos_angle > 0.0;
        return {same_way, same_way};
    }
    const double threshold = kMinDepthInBaselines * t.norm() * d.det;
    return {d.depth1 > threshold && d.depth2 > threshold,
            d.depth1 < -threshold && d.depth2 < -threshold};
}

// At |E| = sqrt(2), |2 E E^T E - tr(E E^T) E| is about twice the largest of |s1 - s2| and s3:
// below this, E is taken as an exact essential matrix and factored in closed form.
constexpr double kExactEssential = 1e-9;

// The nearest essential matrix, U diag(1, 1, 0) V^T; false when E has rank below 2.
bool ProjectToEssential(Eigen::Matrix3d* e) {
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(*e, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const Eigen::Vector3d& s = svd.singularValues();
    if (!(s(1) > 1e-12 * s(0))) return false;
    *e = svd.matrixU() * Eigen::Vector3d(1.0, 1.0, 0.0).asDiagonal() * svd.matrixV().transpose();
    return e->allFinite();
}

}  // namespace

Eigen::Matrix3d Skew(const Eigen::Vector3d& v) {
    Eigen::Matrix3d s;
    s << 0.0, -v.z(), v.y(), v.z(), 0.0, -v.x(), -v.y(), v.x(), 0.0;
    return s;
}

Eigen::Matrix3d EssentialFromPose(const RelativePose& pose) { return Skew(pose.t) * pose.R; }

double EssentialResidual(const Eigen::Matrix3d& E) {
    const double norm = E.norm();
    if (!(norm > 0.0) || !std::isfinite(norm)) return std::numeric_limits<double>::infinity();
    const Eigen::Matrix3d e = E * (std::sqrt(2.0) / norm);
    const Eigen::Matrix3d eet = e * e.transpose();
    return (2.0 * eet * e - eet.trace() * e).norm();
}

std::optional<std::array<RelativePose, 4>> DecomposeEssential(const Eigen::Matrix3d& E) {
    if (!E.allFinite()) return std::nullopt;
    const double norm = E.norm();
    if (!(norm > 0.0) || !std::isfinite(norm)) return std::nullopt;
    Eigen::Matrix3d e = E * (std::sqrt(2.0) / norm);
    if (!(EssentialResidual(E) <= kExactEssential)) {
        if (!ProjectToEssential(&e)) return std::nullopt;
    }
    // t spans the left null space of E: it is orthogonal to every column. The pair of
    // columns with the largest cross product gives it best.
    Eigen::Vector3d t = e.col(0).cross(e.col(1));
    for (const Eigen::Vector3d& c : {e.col(1).cross(e.col(2)), e.col(2).cross(e.col(0))}) {
        if (c.squaredNorm() > t.squaredNorm()) t = c;
    }
    const double t_norm = t.norm();
    if (!(t_norm > 1e-12)) return std::nullopt;
    t /= t_norm;
    // With |t| = 1, A = -[t]x E = (I - t t^T) R. For a right-handed orthonormal basis
    // (b1, b2, t): b1^T R = b1^T A, b2^T R = b2^T A, and t^T R is their cross product.
    const Eigen::Matrix3d a = -Skew(t) * e;
    const Eigen::Vector3d axis =
        std::abs(t.x()) < 0.6 ? Eigen::Vector3d::UnitX() : Eigen::Vector3d::UnitY();
    const Eigen::Vector3d b1 = t.cross(axis).normalized();
    const Eigen::Vector3d b2 = t.cross(b1);
    const Eigen::Vector3d r3 = (a.transpose() * b1).cross(a.transpose() * b2);
    Eigen::Matrix3d ra = a + t * r3.transpose();
    // One Newton step towards the nearest orthogonal matrix removes what rounding left.
    ra = 1.5 * ra - 0.5 * ra * ra.transpose() * ra;
    // The other factor: [t]x (2 t t^T - I) Ra = -[t]x Ra, the same E up to sign.
    const Eigen::Matrix3d rb = (2.0 * t * t.transpose() - Eigen::Matrix3d::Identity()) * ra;
    if (!ra.allFinite() || !rb.allFinite()) return std::nullopt;
    return std::array<RelativePose, 4>{{{ra, t}, {ra, -t}, {rb, t}, {rb, -t}}};
}

bool InFrontOfBothCameras(const RelativePose& pose, const Eigen::Vector3d& x1,
                          const Eigen::Vector3d& x2) {
    return InFrontBothSigns(pose.R, pose.t, x1, x2).plus;
}

int PosesFromEssential(const Eigen::Matrix3d& E, std::span<const Eigen::Vector3d> x1,
                       std::span<const Eigen::Vector3d> x2, std::vector<RelativePose>* poses) {
    poses->clear();
    return AppendPosesFromEssential(E, x1, x2, poses);
}

int AppendPosesFromEssential(const Eigen::Matrix3d& E, std::span<const Eigen::Vector3d> x1,
                             std::span<const Eigen::Vector3d> x2,
                             std::vector<RelativePose>* poses) {
    if (x1.size() != x2.size()) return 0;
    const std::size_t before = poses->size();
    const auto decomposition = DecomposeEssential(E);
    if (!decomposition) return 0;
    // Poses 0/1 and 2/3 share a rotation and differ in the sign of t; one pass over the
    // points decides both signs.
    for (int r = 0; r < 2; ++r) {
        const RelativePose& pose = (*decomposition)[2 * static_cast<std::size_t>(r)];
        bool plus = true, minus = true;
        for (std::size_t i = 0; i < x1.size() && (plus || minus); ++i) {
            const FrontTest f = InFrontBothSigns(pose.R, pose.t, x1[i], x2[i]);
            plus = plus && f.plus;
            minus = minus && f.minus;
        }
        if (plus) poses->push_back(pose);
        if (minus) poses->push_back((*decomposition)[2 * r + 1]);
    }
    return static_cast<int>(poses->size() - before);
}

double TriangulationAngle(const RelativePose& pose, const Eigen::Vector3d& x1,
                          const Eigen::Vector3d& x2) {
    const Eigen::Vector3d a = pose.R * x1;
    const double angle = std::atan2(a.cross(x2).norm(), a.dot(x2));
    return std::isfinite(angle) && a.squaredNorm() > 0.0 && x2.squaredNorm() > 0.0 ? angle : 0.0;
}

}  // namespace two_view
