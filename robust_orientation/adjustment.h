// The least-squares adjustment of the five elements on the inliers, with iterative data
// snooping, and the precision and reliability figures of its result.
//
// The observations are the Sampson-normalised coplanarity residuals d_i in pixels
// (observations.h), so sigma0 comes out in pixels and can be tested against the a-priori
// sigma of an image coordinate. The solver is the project's Levenberg-Marquardt; the
// Jacobian J (n x 5) for the statistics is taken by central differences at the solution:
//
//   cofactor matrix        Q = (J^T J)^-1,  covariance sigma0^2 Q
//   redundancy numbers     r_i = 1 - J_i Q J_i^T   (they sum to n - 5)
//   normalised residuals   w_i = d_i / (sigma sqrt(r_i))   (Baarda's w-test, a-priori sigma)
//   minimal detectable bias of d_i   delta0 sigma / sqrt(r_i),  delta0 = critical w + 0.84
//                                    (power 80 %)
//
// Data snooping removes the single point with the largest |w_i| above the critical value,
// adjusts again from the previous solution and repeats, one point at a time, because least
// squares spreads a gross error over many residuals.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "robust_orientation/elements.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/result.h"

namespace ro {

// Fewest points the adjustment runs on (redundancy 5).
inline constexpr int kMinAdjustmentPoints = 10;

struct AdjustmentSettings {
    double sigma_px = 0.5;
    double critical_w = 3.29;
    // Data snooping stops after removing this share of the starting points (a sign that the
    // a-priori sigma is far too small, not that the points are false).
    double max_snooped_share = 0.5;
    // Threads that evaluate the residuals; each residual is computed alone, so the result
    // is the same for any count.
    int threads = 1;
};

struct Adjustment {
    bool ok = false;  // finite elements and an invertible normal matrix
    Elements elements;
    int iterations = 0;  // solver iterations of all rounds
    bool converged = false;
    bool snooping_limit_reached = false;
    std::vector<int> used;            // observation indices of the last round, ascending
    std::vector<int> snooped;         // in the order removed
    std::vector<double> residual_px;  // d_i of the used points
    std::vector<double> redundancy;   // r_i
    std::vector<double> w;            // w_i
    Matrix5d cofactor = Matrix5d::Zero();
    double sigma0_px = 0.0;
};

// The points that a set of elements fits, for settling the inlier set on the adjustment.
using InlierSelection = std::function<std::vector<int>(const Elements&)>;

// Adjusts from `start` on the observations `inliers` (indices), snooping as described above.
// With `reselect`, before any point is snooped, the inliers are reselected on the adjusted
// elements and the adjustment repeated until the set settles (a few rounds at most): the
// start's inliers came from a rougher model, which may have just missed points that the
// adjusted elements fit, or taken some they do not.
Adjustment AdjustWithSnooping(const CoplanarityModel& model,
                              std::span<const Observation> observations, std::vector<int> inliers,
                              const Elements& start, const AdjustmentSettings& settings,
                              const InlierSelection& reselect = {});

// The correlation matrix of a covariance matrix and its condition number (largest over
// smallest eigenvalue; infinite when singular).
Matrix5d CorrelationOf(const Matrix5d& covariance);
double ConditionNumber(const Matrix5d& correlation);

}  // namespace ro
