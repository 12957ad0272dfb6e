// The least-squares adjustment of the relative orientation on the inliers, with iterative
// data snooping, and the precision and reliability figures of its result.
//
// The unknowns are the attitude M of camera 2 and the unit base B (elements.h, Orientation):
// five degrees of freedom for every direction of the base, so that a base across the
// photograph (along its rows) is adjusted as well as one along it. Each step moves
//
//     M <- exp([phi]x) M      (phi: a small rotation about the model axes, radians)
//     B <- (B + T b) / |B + T b|   (b: a step in the plane T = (t1, t2) normal to B)
//
// and the Jacobian of the residuals by p = (phi, b) is analytic. The observations are the
// Sampson-normalised coplanarity residuals d_i in pixels (observations.h), so sigma0 comes
// out in pixels and can be tested against the a-priori sigma of an image coordinate:
//
//   cofactor matrix        Q = (J^T J)^-1 of p, covariance sigma0^2 Q
//   redundancy numbers     r_i = 1 - J_i Q J_i^T   (they sum to n - 5)
//   normalised residuals   w_i = d_i / (sigma sqrt(r_i))   (Baarda's w-test, a-priori sigma)
//
// The redundancy numbers and w do not depend on how the orientation is parametrised; the
// precision of the five elements of the dependent form follows from Q by variance
// propagation (precision.h).
//
// Data snooping removes the single point with the largest |w_i| above the critical value,
// adjusts again from the previous solution and repeats, one point at a time, because least
// squares spreads a gross error over many residuals.
//
// Every round must succeed: when the adjustment after a reselection of the inliers or after
// a snooped point gives no finite, determined solution, the whole adjustment fails (status
// failed, `failure` names the round), rather than returning an earlier round's solution
// whose points have not been tested. The result of a successful adjustment is that of its
// last round: its points, its w and redundancy numbers, and whether that round converged
// (ended at a minimum rather than at options.max_iterations).
//
// The conditioning of the normal matrix N = J^T J is measured by the condition number of N
// scaled to a unit diagonal (D^-1/2 N D^-1/2, D = diag N): the scaling removes the units of
// the unknowns, so what remains measures how nearly the five unknowns depend on each other
// through the geometry of the points. A round whose scaled N has a condition number above
// kMaxNormalCondition fails like a singular one: the adjustment does not determine the
// orientation, however finite its covariance.
#pragma once

#include <Eigen/Core>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "robust_orientation/elements.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/options.h"

namespace ro {

// Fewest points the adjustment runs on (redundancy 5).
inline constexpr int kMinAdjustmentPoints = 10;

// Largest condition number of the scaled normal matrix that still counts as determined.
// The variance of some unit combination of the unknowns is then up to this factor larger
// than if the unknowns were independent (its sigma 1000 times larger): the tie points
// determine only fewer than five combinations, and a sigma that large no longer describes
// the error, since the linearisation does not hold over it. Ordinary geometry stays far
// below: 30 to 500 for aerial and convergent scenes, about 1e4 for a near-planar scene,
// 6e4 for the real street pair taken from nearly one place (data/real/street); 25 exact
// tie points within 20 px of the centre of the photograph reach 5e6.
inline constexpr double kMaxNormalCondition = 1e6;

// An orthonormal basis (t1, t2) of the plane normal to the unit vector `base`: the base's
// two degrees of freedom. The same base always gives the same basis.
Eigen::Matrix<double, 3, 2> BaseTangent(const Eigen::Vector3d& base);

enum class AdjustmentStatus {
    adjusted,
    too_few_points,  // fewer than kMinAdjustmentPoints to start with
    failed,          // a round gave no finite, determined solution (a singular normal matrix)
};

struct Adjustment {
    AdjustmentStatus status = AdjustmentStatus::too_few_points;
    Orientation orientation;
    int iterations = 0;  // solver iterations of all rounds
    bool converged = false;
    bool snooping_limit_reached = false;
    std::vector<int> used;            // observation indices of the last round, ascending
    std::vector<int> snooped;         // in the order removed
    std::vector<double> residual_px;  // d_i of the used points
    std::vector<double> redundancy;   // r_i
    std::vector<double> w;            // w_i
    // Q of p = (phi, b) at the solution, b in the basis BaseTangent(orientation.base).
    Matrix5d cofactor = Matrix5d::Zero();
    double sigma0_px = 0.0;
    double normal_condition = 0.0;  // of the scaled normal matrix of the last round
    std::string failure;            // with status failed: which round failed, in words

    bool Adjusted() const { return status == AdjustmentStatus::adjusted; }
};

// The points that an orientation fits, for settling the inlier set on the adjustment.
using InlierSelection = std::function<std::vector<int>(const Orientation&)>;

// Adjusts from `start` on the observations `inliers` (indices), snooping as described above,
// with the residuals evaluated on `threads` threads (the same result for any count). With
// `reselect`, before any point is snooped, the inliers are reselected on the adjusted
// orientation and the adjustment repeated until the set settles (a few rounds at most): the
// start's inliers came from a rougher model, which may have just missed points that the
// adjusted orientation fits, or taken some it does not. Each round runs at most
// options.max_iterations Levenberg-Marquardt iterations.
Adjustment AdjustWithSnooping(const CoplanarityModel& model,
                              std::span<const Observation> observations, std::vector<int> inliers,
                              const Orientation& start, double sigma_px,
                              const AdjustmentOptions& options, int threads = 1,
                              const InlierSelection& reselect = {});

}  // namespace ro
