#include "testing/two_view_problems.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "common/angles.h"

namespace two_view::testing {
namespace {

constexpr double kHalfFormat = 0.5;  // 500 px / 1000 px
constexpr double kMinDepth = 4.0;
constexpr double kMaxDepth = 8.0;
constexpr int kTriesPerPoint = 200;
constexpr int kMotionTries = 1000;

bool InFormat(const Eigen::Vector3d& X) {
    return X.z() > 0.0 && std::abs(X.x() / X.z()) <= kHalfFormat &&
           std::abs(X.y() / X.z()) <= kHalfFormat;
}

// A point seen by camera 1 at a random depth that camera 2 sees as well; false when none
// was found.
bool VisiblePoint(const RelativePose& pose, Random* random, Eigen::Vector3d* X1) {
    for (int i = 0; i < kTriesPerPoint; ++i) {
        const double u = random->Uniform(-kHalfFormat, kHalfFormat);
        const double v = random->Uniform(-kHalfFormat, kHalfFormat);
        const double depth = random->Uniform(kMinDepth, kMaxDepth);
        const Eigen::Vector3d candidate(u * depth, v * depth, depth);
        if (InFormat(pose.R * candidate + pose.t)) {
            *X1 = candidate;
            return true;
        }
    }
    return false;
}

void AddCorrespondence(const RelativePose& pose, const Eigen::Vector3d& X1, Problem* p) {
    const Eigen::Vector3d X2 = pose.R * X1 + pose.t;
    p->x1.push_back(X1 / X1.z());
    p->x2.push_back(X2 / X2.z());
}

}  // namespace

double Random::Uniform() { return generator_.Uniform(); }

double Random::Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

Eigen::Vector3d Random::UnitVector() {
    const double z = Uniform(-1.0, 1.0);
    const double phi = Uniform(0.0, 2.0 * std::numbers::pi);
    const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
    return {r * std::cos(phi), r * std::sin(phi), z};
}

RelativePose RandomMotion(Motion motion, Random* random) {
    RelativePose pose;
    if (motion == Motion::kGeneral) {
        const Eigen::Vector3d axis = random->UnitVector();
        const double angle = random->Uniform(0.0, 0.5);
        pose.R = Eigen::AngleAxisd(angle, axis).toRotationMatrix();
        pose.t = random->UnitVector();
        return pose;
    }
    using common::kRadiansPerDegree;
    const double omega = random->Uniform(-5.0, 5.0) * kRadiansPerDegree;
    const double phi = random->Uniform(-5.0, 5.0) * kRadiansPerDegree;
    const double kappa = random->Uniform(-180.0, 180.0) * kRadiansPerDegree;
    const Eigen::Vector3d base(1.0, random->Uniform(-0.1, 0.1), random->Uniform(-0.1, 0.1));
    const Eigen::Matrix3d m = (Eigen::AngleAxisd(omega, Eigen::Vector3d::UnitX()) *
                               Eigen::AngleAxisd(phi, Eigen::Vector3d::UnitY()) *
                               Eigen::AngleAxisd(kappa, Eigen::Vector3d::UnitZ()))
                                  .toRotationMatrix();
    // Photogrammetric frames (y up, z backwards) to computer-vision ones: D = diag(1, -1, -1).
    // X_model = b + M X_cam2 gives X2 = D M^T D X1 - D M^T b.
    const Eigen::Matrix3d d = Eigen::Vector3d(1.0, -1.0, -1.0).asDiagonal();
    pose.R = d * m.transpose() * d;
    pose.t = -d * m.transpose() * base;
    return pose;
}

Problem MakeProblem(Motion motion, int n, Random* random) {
    Problem p;
    for (int attempt = 0; attempt < kMotionTries; ++attempt) {
        p = Problem{};
        p.truth = RandomMotion(motion, random);
        bool complete = true;
        for (int i = 0; i < n && complete; ++i) {
            Eigen::Vector3d X1;
            complete = VisiblePoint(p.truth, random, &X1);
            if (complete) AddCorrespondence(p.truth, X1, &p);
        }
        if (complete) return p;
    }
    return p;
}

Problem MakePlanarProblem(const RelativePose& pose, const Eigen::Vector3d& normal, double distance,
                          int n, Random* random) {
    Problem p;
    p.truth = pose;
    for (int i = 0; i < n; ++i) {
        // The ray through a random image point of camera 1 meets the plane n . X = d.
        const Eigen::Vector3d ray(random->Uniform(-kHalfFormat, kHalfFormat),
                                  random->Uniform(-kHalfFormat, kHalfFormat), 1.0);
        AddCorrespondence(pose, ray * (distance / normal.dot(ray)), &p);
    }
    return p;
}

FivePoints FirstFive(const std::vector<Eigen::Vector3d>& x) {
    return {x[0], x[1], x[2], x[3], x[4]};
}

double RotationError_rad(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
    return Eigen::AngleAxisd(a.transpose() * b).angle();
}

double TranslationError_rad(const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
    return std::atan2(a.cross(b).norm(), a.dot(b));
}

double EssentialDistance(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
    const Eigen::Matrix3d an = a / a.norm();
    const Eigen::Matrix3d bn = b / b.norm();
    return std::min((an - bn).norm(), (an + bn).norm());
}

double BestEssentialError(const std::vector<Eigen::Matrix3d>& solutions,
                          const RelativePose& truth) {
    double best = std::numeric_limits<double>::infinity();
    const Eigen::Matrix3d e = EssentialFromPose(truth);
    for (const Eigen::Matrix3d& s : solutions) best = std::min(best, EssentialDistance(s, e));
    return best;
}

bool FindsPose(const std::vector<RelativePose>& poses, const RelativePose& truth,
               double tolerance_rad) {
    for (const RelativePose& p : poses) {
        if (RotationError_rad(p.R, truth.R) < tolerance_rad &&
            TranslationError_rad(p.t, truth.t) < tolerance_rad) {
            return true;
        }
    }
    return false;
}

Misses CountFivePointMisses(Motion motion, int problems, std::uint64_t seed) {
    Random random(seed);
    Misses misses;
    std::vector<Eigen::Matrix3d> essentials;
    std::vector<RelativePose> poses;
    for (int i = 0; i < problems; ++i) {
        const Problem p = MakeProblem(motion, 5, &random);
        const FivePoints x1 = FirstFive(p.x1), x2 = FirstFive(p.x2);
        SolveFivePoint(x1, x2, &essentials);
        if (!(BestEssentialError(essentials, p.truth) < 1e-6)) ++misses.essential;
        SolveRelativePoseFivePoint(x1, x2, &poses);
        if (!FindsPose(poses, p.truth, 1e-6)) ++misses.pose;
    }
    return misses;
}

}  // namespace two_view::testing
