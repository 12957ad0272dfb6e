// The choice among the adjusted candidates of the robust loop.
#include "robust_orientation/candidates.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "common/angles.h"
#include "robust_orientation/precision.h"
#include "two_view/essential.h"

namespace ro {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Adjusted {
    Adjustment adjustment;
    Precision precision;
    double score = kInfinity;  // squared pixels
    int inliers = 0;
};

// The loop's truncated score of an adjusted orientation, and its count of inliers.
void Score(const CoplanarityModel& model, std::span<const Observation> observations,
           double threshold_px, Adjusted* a) {
    const Fit fit = FitOf(model, observations, threshold_px, a->adjustment.orientation);
    a->score = std::isfinite(fit.score) ? fit.score : kInfinity;
    a->inliers = static_cast<int>(fit.inliers.size());
}

double Ratio(double difference, double sigma) {
    if (sigma > 0.0) return std::fabs(difference) / sigma;
    return difference == 0.0 ? 0.0 : kInfinity;
}

// How far an orientation lies from an adjusted one: the largest difference of a rotation
// about a model axis or a component of the unit base (turned to the same side), in the
// larger of the two standard deviations (`b_precision` may be the adjusted one's again).
double SigmasApart(const Adjusted& a, const Orientation& ob, const Precision& b_precision) {
    const Orientation& oa = a.adjustment.orientation;
    const Eigen::AngleAxisd turn(ob.attitude * oa.attitude.transpose());
    const Eigen::Vector3d rotation = turn.angle() * turn.axis();
    const Eigen::Vector3d base = (oa.base.dot(ob.base) < 0.0 ? -ob.base : ob.base) - oa.base;
    double apart = 0.0;
    for (int k = 0; k < 3; ++k) {
        const auto i = static_cast<std::size_t>(k);
        apart = std::max(apart, Ratio(rotation(k), std::max(a.precision.rotation_sigma_rad[i],
                                                            b_precision.rotation_sigma_rad[i])));
        apart = std::max(
            apart, Ratio(base(k), std::max(a.precision.base_sigma[i], b_precision.base_sigma[i])));
    }
    return std::isnan(apart) ? kInfinity : apart;
}

double SigmasApart(const Adjusted& a, const Adjusted& b) {
    return SigmasApart(a, b.adjustment.orientation, b.precision);
}

double BaseAngle(const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
    // The coplanarity condition does not see the base's sign.
    return std::atan2(a.cross(b).norm(), std::fabs(a.dot(b)));
}

}  // namespace

Fit FitOf(const CoplanarityModel& model, std::span<const Observation> observations,
          double threshold_px, const Orientation& orientation) {
    const Eigen::Matrix3d G = CoplanarityMatrix(orientation.attitude, orientation.base);
    const CvPose cv = CvPoseFromOrientation(orientation);
    const double threshold_sq = threshold_px * threshold_px;
    Fit fit;
    for (std::size_t k = 0; k < observations.size(); ++k) {
        const Observation& obs = observations[k];
        if (!obs.IsFinite()) continue;
        const double d = model.SampsonPx(G, obs);
        if (std::fabs(d) < threshold_px &&
            two_view::InFrontOfBothCameras(cv, model.NormalisedRay1(obs),
                                           model.NormalisedRay2(obs))) {
            fit.score += d * d;
            fit.inliers.push_back(static_cast<int>(k));
        } else {
            fit.score += threshold_sq;
        }
    }
    return fit;
}

CandidateChoice ChooseCandidate(const CoplanarityModel& model,
                                std::span<const Observation> observations,
                                const std::vector<Scored<CvPose>>& candidates,
                                const std::vector<int>& best_inliers, double threshold_px,
                                const EstimationOptions& options, const InlierSelection& reselect) {
    CandidateChoice choice;
    std::vector<Adjusted> adjusted;  // distinct solutions, in the order found
    int adjustments = 0;
    int repeats = 0;  // adjustments in a row that found no new solution
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        if (adjustments == kMaxAdjustedCandidates || repeats == kMaxRepeats) break;
        const Orientation start = OrientationFromCvPose(candidates[c].model);
        // A start this close to an adjusted solution lies in its basin.
        if (std::any_of(adjusted.begin(), adjusted.end(), [&](const Adjusted& done) {
                return SigmasApart(done, start, done.precision) <= kSameBasinSigmas;
            }))
            continue;
        Adjusted a;
        a.adjustment =
            AdjustWithSnooping(model, observations, c == 0 ? best_inliers : reselect(start), start,
                               options.sigma_px, options.adjustment, options.threads, reselect);
        ++adjustments;
        ++repeats;
        if (!a.adjustment.Adjusted()) {
            // Stands for the run when no candidate adjusts.
            if (c == 0) choice.chosen = std::move(a.adjustment);
            continue;
        }
        a.precision = PrecisionOf(a.adjustment, options.sigma_px);
        Score(model, observations, threshold_px, &a);
        // The same solution again: the better-scoring copy stands for it.
        const auto same = std::find_if(adjusted.begin(), adjusted.end(), [&](const Adjusted& done) {
            return !(SigmasApart(done, a) > 1.0);
        });
        if (same != adjusted.end()) {
            if (a.score < same->score) *same = std::move(a);
            continue;
        }
        adjusted.push_back(std::move(a));
        repeats = 0;
    }
    if (adjusted.empty()) return choice;
    std::stable_sort(adjusted.begin(), adjusted.end(),
                     [](const Adjusted& a, const Adjusted& b) { return a.score < b.score; });
    const Adjusted& chosen = adjusted.front();
    choice.chosen = chosen.adjustment;
    choice.precision = chosen.precision;
    const double sigma_sq = options.sigma_px * options.sigma_px;
    for (std::size_t k = 1; k < adjusted.size(); ++k) {
        const Adjusted& other = adjusted[k];
        const double apart = SigmasApart(chosen, other);
        if (!(apart > 1.0)) continue;
        const double increase = (other.score - chosen.score) / sigma_sq;
        if (!(increase <= kSecondSolutionMaxCostIncrease)) break;
        SecondSolution& s = choice.second;
        s.found = true;
        s.score_increase = increase;
        s.rotation_difference_rad = RotationDistance(other.adjustment.orientation.attitude,
                                                     chosen.adjustment.orientation.attitude);
        s.base_difference_rad =
            BaseAngle(other.adjustment.orientation.base, chosen.adjustment.orientation.base);
        s.sigmas_apart = apart;
        s.inliers = other.inliers;
        s.elements = ElementsOf(other.adjustment.orientation);
        choice.ambiguous = increase <= kAmbiguousCostIncrease;
        break;
    }
    return choice;
}

std::string AmbiguityReason(const Elements& chosen, const SecondSolution& second) {
    const auto text = [](const Elements& e) {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "by %.4f bz %.4f omega %.3f phi %.3f kappa %.3f deg",
                      e.by, e.bz, e.omega_rad * common::kDegreesPerRadian,
                      e.phi_rad * common::kDegreesPerRadian,
                      e.kappa_rad * common::kDegreesPerRadian);
        return std::string(buffer);
    };
    char figures[160];
    std::snprintf(figures, sizeof figures,
                  "rotations %.2f deg apart (%.1f sigmas), scores %.1f sigma^2 apart, below the "
                  "95 %% quantile %.2f of chi-square(5)",
                  second.rotation_difference_rad * common::kDegreesPerRadian, second.sigmas_apart,
                  second.score_increase, kAmbiguousCostIncrease);
    return "two solutions fit the tie points equally well: " + text(chosen) + ", and " +
           text(second.elements) + "; " + figures;
}

}  // namespace ro
