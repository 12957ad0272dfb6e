// The choice of the orientation among the robust loop's candidates (ransac.h), made after
// adjustment, and the second solution that competes with it.
//
// The candidates are taken in the loop's order (its best first, then by score). Each is
// adjusted with data snooping (adjustment.h) from its own inliers (the loop's best from the
// loop's inliers) unless its start lies within kSameBasinSigmas standard deviations of a
// solution already adjusted, and scored at its adjusted orientation with the loop's
// truncated score: over all tie points with finite positions, the squared Sampson residual
// in pixels when it is below the squared threshold and the point lies in front of both
// cameras, the squared threshold otherwise. The search ends after kMaxAdjustedCandidates
// adjustments, or after kMaxRepeats in a row that found no new solution: on weak data many
// starts several sigmas away still end in the same minimum. The lowest score is chosen; of
// equal scores, the one found first.
//
// Why this score: it depends on the adjusted orientation alone, and the adjustment takes
// every start within one basin to the same minimum, so runs with different seeds whose
// loops found the same basins choose the same orientation; the loop's scores of its
// unadjusted poses carry each seed's sampling noise, which is what made the choice
// seed-dependent on weak data. The inlier count alone ties often and jumps by whole points;
// the truncated score weighs the inliers and their fit together, and it is what the loop
// itself minimises.
//
// Two adjusted candidates are the same solution when no rotation about a model axis and no
// component of the unit base (turned to the same side) differs by more than the larger of
// their two standard deviations. A different solution whose score exceeds the chosen one's
// by at most kSecondSolutionMaxCostIncrease sigma^2 is the second solution; by at most
// kAmbiguousCostIncrease sigma^2 the two cannot be told apart, and the run is ambiguous.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "robust_orientation/adjustment.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/options.h"
#include "robust_orientation/ransac.h"
#include "robust_orientation/result.h"

namespace ro {

// The 99.9 % quantile of chi-square with 5 degrees of freedom: a score difference that
// noise alone could make between two five-parameter fits.
inline constexpr double kSecondSolutionMaxCostIncrease = 20.52;
// The 95 % quantile of chi-square with 5 degrees of freedom: below it, the data do not tell
// the two solutions apart.
inline constexpr double kAmbiguousCostIncrease = 11.07;

inline constexpr int kMaxAdjustedCandidates = 32;
// A start within this many standard deviations of an adjusted solution is not adjusted
// again: the adjustment would take it there.
inline constexpr double kSameBasinSigmas = 1.0;
// Adjustments in a row without a new solution that end the search.
inline constexpr int kMaxRepeats = 16;

// How an orientation fits the tie points: those within the threshold and in front of both
// cameras, ascending, and the loop's truncated score (squared pixels: each finite point adds
// its squared Sampson error as an inlier, the squared threshold otherwise).
struct Fit {
    std::vector<int> inliers;
    double score = 0.0;
};
Fit FitOf(const CoplanarityModel& model, std::span<const Observation> observations,
          double threshold_px, const Orientation& orientation);

struct CandidateChoice {
    // The chosen candidate's adjustment; when none adjusts, the loop's best one's (failed).
    Adjustment chosen;
    Precision precision;  // of the chosen adjustment, when it adjusted
    SecondSolution second;
    bool ambiguous = false;  // second.found and its score cannot be told from the chosen's
};

// Adjusts `candidates` (the loop's best first, with `best_inliers`; the others start from
// `reselect` of their pose) and chooses as described above. `threshold_px` is the loop's.
CandidateChoice ChooseCandidate(const CoplanarityModel& model,
                                std::span<const Observation> observations,
                                const std::vector<Scored<CvPose>>& candidates,
                                const std::vector<int>& best_inliers, double threshold_px,
                                const EstimationOptions& options, const InlierSelection& reselect);

// Why an ambiguous run gives no orientation, in one sentence naming both solutions.
std::string AmbiguityReason(const Elements& chosen, const SecondSolution& second);

}  // namespace ro
