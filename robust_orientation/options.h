// The settings of an orientation run, one struct per stage, nested so that no stage copies
// another's fields: the robust loop's (lo_ransac.h), the adjustment's, and what both share.
#pragma once

#include "robust_orientation/lo_ransac.h"

namespace ro {

// The robust loop's default threshold in a-priori sigmas: wide enough that a clean point
// is rarely cut off by the loop (0.006 % beyond 4 sigma), so that data snooping, not the
// threshold, decides about the points between 3 and 4 sigma.
inline constexpr double kThresholdSigmas = 4.0;

struct AdjustmentOptions {
    double critical_w = 3.29;  // data snooping: alpha0 = 0.1 %, two-sided
    // Data snooping stops after removing this share of the starting points (a sign that the
    // a-priori sigma is far too small, not that the points are false).
    double max_snooped_share = 0.5;
    // Levenberg-Marquardt iterations of one adjustment round at most: the adjustment
    // converges in a few (it starts from the robust loop's model); a round that uses them
    // all has not converged (W-NOT-CONVERGED).
    int max_iterations = 100;
};

struct EstimationOptions {
    double sigma_px = 0.5;  // a-priori precision of one image coordinate
    RansacOptions ransac;
    AdjustmentOptions adjustment;
    int threads = 1;  // threads of the robust loop and the adjustment; the same result for any
};

// The threshold the robust loop uses: the one set, or kThresholdSigmas a-priori sigmas.
inline double EffectiveThresholdPx(const EstimationOptions& options) {
    return options.ransac.threshold_px > 0.0 ? options.ransac.threshold_px
                                             : kThresholdSigmas * options.sigma_px;
}

}  // namespace ro
