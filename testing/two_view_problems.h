// Random two-view problems with known truth, for the tests and the benchmark of the
// two-view library. Deterministic: the project's SplitMix64 generator with its own mapping to
// doubles, so the problems do not depend on the standard library's distributions.
#pragma once

#include <Eigen/Core>
#include <cstdint>
#include <vector>

#include "common/random.h"
#include "two_view/two_view.h"

namespace two_view::testing {

class Random {
  public:
    explicit Random(std::uint64_t seed) : generator_(seed) {}
    std::uint64_t Next() { return generator_.Next(); }
    double Uniform();                      // [0, 1)
    double Uniform(double lo, double hi);  // [lo, hi)
    Eigen::Vector3d UnitVector();

  private:
    common::SplitMix64 generator_;
};

// Two motions, both seen by a camera of focal length 1000 px and a 1000 x 1000 px format
// (normalised coordinates within +-0.5), points at depths 4 to 8 in camera 1 and visible in
// both images:
// - kGeneral: a rotation of up to 0.5 rad about a random axis, a random unit translation;
// - kAerial: camera 2 at (1, by, bz) with |by|, |bz| <= 0.1 in the frame of camera 1 of the
//   photogrammetric convention (y up, z backwards), turned by Rx(omega) Ry(phi) Rz(kappa)
//   with |omega|, |phi| <= 5 degrees and kappa anywhere in +-180 degrees.
enum class Motion { kGeneral, kAerial };

inline constexpr double kFocal_px = 1000.0;

struct Problem {
    RelativePose truth;               // |t| is not normalised
    std::vector<Eigen::Vector3d> x1;  // normalised image points (u, v, 1)
    std::vector<Eigen::Vector3d> x2;
};

RelativePose RandomMotion(Motion motion, Random* random);

// A problem of n points; the motion is drawn again when its images barely overlap.
Problem MakeProblem(Motion motion, int n, Random* random);

// A problem whose points lie on one plane (n . X1 = d in the frame of camera 1) seen under
// the given pose.
Problem MakePlanarProblem(const RelativePose& pose, const Eigen::Vector3d& normal, double distance,
                          int n, Random* random);

// The first five correspondences as the solvers' fixed-size samples.
FivePoints FirstFive(const std::vector<Eigen::Vector3d>& x);

// Angle of the rotation a^T b, radians.
double RotationError_rad(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b);

// Angle between two translation directions, radians (sign counts).
double TranslationError_rad(const Eigen::Vector3d& a, const Eigen::Vector3d& b);

// Distance between two essential matrices scaled to unit Frobenius norm, the smaller over
// the two signs.
double EssentialDistance(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b);

// The smallest EssentialDistance of the solutions to the truth (infinity when none).
double BestEssentialError(const std::vector<Eigen::Matrix3d>& solutions, const RelativePose& truth);

// Whether one of the poses is within tolerance_rad of the truth, in rotation angle and in
// translation direction.
bool FindsPose(const std::vector<RelativePose>& poses, const RelativePose& truth,
               double tolerance_rad);

// Five-point problems whose true solution is missed, out of `problems` seeded ones: no
// essential matrix within 1e-6 of the truth (EssentialDistance), and no pose after the
// cheirality test within 1e-6 rad (FindsPose).
struct Misses {
    int essential = 0;
    int pose = 0;
};
Misses CountFivePointMisses(Motion motion, int problems, std::uint64_t seed);

}  // namespace two_view::testing
