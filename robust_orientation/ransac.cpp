// The relative-pose estimator of the robust loop, its check for weak data, and the
// candidates it hands on.
#include "robust_orientation/ransac.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "robust_orientation/planarity.h"
#include "two_view/eight_point.h"
#include "two_view/essential.h"
#include "two_view/five_point.h"
#include "two_view/sampson.h"

namespace ro {
namespace {

constexpr int kLocalRounds = 4;
constexpr int kMinLinearPoints = 8;
constexpr std::size_t kMaxRefitPoints = 400;
// Points that vote for the factor of a refitted essential matrix: the true one has all
// of them in front, the others about half.
constexpr std::size_t kFactorVotes = 32;
constexpr std::size_t kRunnersUp = 64;
constexpr int kMaxCandidateRefinements = 32;
// The seed of the loop's planarity check: a fixed one, so that whether the loop goes on
// depends on the data, not on the loop's seed.
constexpr std::uint64_t kPlanaritySeed = 0x2545f4914f6cdd1dULL;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

using two_view::RelativePose;

// The tie points with finite positions as normalised rays, and the estimator over them.
class PoseEstimator {
  public:
    using Model = RelativePose;
    static constexpr int kSampleSize = 5;

    PoseEstimator(const CoplanarityModel& model, std::span<const Observation> observations,
                  double threshold_px)
        : f1_px_(model.FocalLength1Px()),
          f2_px_(model.FocalLength2Px()),
          threshold_sq_(threshold_px * threshold_px) {
        for (std::size_t k = 0; k < observations.size(); ++k) {
            if (!observations[k].IsFinite()) continue;
            index_.push_back(static_cast<int>(k));
            u1_.push_back(model.NormalisedRay1(observations[k]));
            u2_.push_back(model.NormalisedRay2(observations[k]));
            if (!model.UsesMetrics()) continue;
            w1_.push_back(model.NormalisedMetric1(observations[k]));
            w2_.push_back(model.NormalisedMetric2(observations[k]));
        }
    }

    std::size_t Size() const { return index_.size(); }
    int ObservationOf(std::size_t k) const { return index_[k]; }

    void Solve(const std::array<std::uint32_t, kSampleSize>& sample,
               std::vector<RelativePose>* models) const {
        two_view::FivePoints x1;
        two_view::FivePoints x2;
        for (std::size_t s = 0; s < kSampleSize; ++s) {
            x1[s] = u1_[sample[s]];
            x2[s] = u2_[sample[s]];
        }
        two_view::SolveRelativePoseFivePoint(x1, x2, models);
    }

    Scored<RelativePose> Score(const RelativePose& pose, double bound) const {
        return ScoreCollecting(pose, bound, nullptr);
    }

    bool Same(const RelativePose& a, const RelativePose& b) const { return SameCandidate(a, b); }

    // Local optimisation: refits E linearly on the model's inliers (a spread of at most
    // kMaxRefitPoints of them: enough for a model that only has to find the inliers, the
    // adjustment does the rest), each epipolar residual weighted by the inverse of its
    // Sampson gradient so that the fit minimises (to first order) the Sampson errors;
    // repeats while the score improves.
    void Refine(Scored<RelativePose>* model) const;

    // The observation numbers of the pose's inliers, ascending.
    std::vector<int> InlierObservations(const RelativePose& pose) const {
        std::vector<std::size_t> inliers;
        ScoreCollecting(pose, kInfinity, &inliers);
        std::vector<int> observations;
        observations.reserve(inliers.size());
        for (const std::size_t k : inliers) observations.push_back(index_[k]);
        return observations;
    }

  private:
    // r and |g|^2 of candidate k under E: with the points' metrics when there are any, else
    // with the focal lengths in pixels as the scales of the normalised rays.
    two_view::SampsonTerms TermsOf(const Eigen::Matrix3d& E, std::size_t k) const {
        if (w1_.empty()) return two_view::SampsonTermsOf(E, u1_[k], u2_[k], f1_px_, f2_px_);
        return two_view::SampsonTermsOf(E, u1_[k], u2_[k], w1_[k], w2_[k]);
    }

    // The MSAC score of a pose; stops early (score infinite) once it exceeds `bound`. With
    // `inliers`, collects the inliers' numbers there.
    Scored<RelativePose> ScoreCollecting(const RelativePose& cv, double bound,
                                         std::vector<std::size_t>* inliers) const {
        const Eigen::Matrix3d E = two_view::EssentialFromPose(cv);
        Scored<RelativePose> m;
        m.model = cv;
        m.score = 0.0;
        if (inliers != nullptr) inliers->clear();
        for (std::size_t k = 0; k < Size(); ++k) {
            const double r2 = two_view::SampsonErrorSquaredOf(TermsOf(E, k));
            if (r2 < threshold_sq_ && two_view::InFrontOfBothCameras(cv, u1_[k], u2_[k])) {
                m.score += r2;
                ++m.inliers;
                if (inliers != nullptr) inliers->push_back(k);
            } else {
                m.score += threshold_sq_;
            }
            if (m.score > bound) {
                m.score = kInfinity;
                return m;
            }
        }
        return m;
    }

    // Of the four factors of E, the one that puts most of `points` in front of both cameras.
    bool BestFactor(const Eigen::Matrix3d& E, const std::vector<std::size_t>& points,
                    RelativePose* best) const {
        const auto factors = two_view::DecomposeEssential(E);
        if (!factors) return false;
        int best_count = -1;
        for (const RelativePose& pose : *factors) {
            int count = 0;
            for (const std::size_t k : points) {
                count += two_view::InFrontOfBothCameras(pose, u1_[k], u2_[k]);
            }
            if (count > best_count) {
                best_count = count;
                *best = pose;
            }
        }
        return true;
    }

    std::vector<int> index_;  // observation number of each candidate
    std::vector<Eigen::Vector3d> u1_;
    std::vector<Eigen::Vector3d> u2_;
    std::vector<two_view::SampsonMetric> w1_;  // per candidate when the model uses metrics
    std::vector<two_view::SampsonMetric> w2_;
    double f1_px_;
    double f2_px_;
    double threshold_sq_;
};

void PoseEstimator::Refine(Scored<RelativePose>* model) const {
    std::vector<std::size_t> inliers;
    *model = ScoreCollecting(model->model, kInfinity, &inliers);
    std::vector<Eigen::Vector3d> x1;
    std::vector<Eigen::Vector3d> x2;
    std::vector<double> weights;
    std::vector<std::size_t> next;
    for (int round = 0; round < kLocalRounds; ++round) {
        const std::vector<std::size_t> points = Spread(inliers, kMaxRefitPoints);
        if (points.size() < static_cast<std::size_t>(kMinLinearPoints)) return;
        const Eigen::Matrix3d E = two_view::EssentialFromPose(model->model);
        x1.clear();
        x2.clear();
        weights.clear();
        for (const std::size_t k : points) {
            const double gradient_sq = TermsOf(E, k).gradient_sq;
            if (!(gradient_sq > 0.0)) continue;
            x1.push_back(u1_[k]);
            x2.push_back(u2_[k]);
            weights.push_back(1.0 / std::sqrt(gradient_sq));
        }
        Eigen::Matrix3d refit;
        if (!two_view::SolveEssentialLinear(x1, x2, weights, &refit)) return;
        RelativePose candidate;
        if (!BestFactor(refit, Spread(points, kFactorVotes), &candidate)) return;
        const Scored<RelativePose> scored = ScoreCollecting(candidate, model->score, &next);
        if (!(scored.score < model->score)) return;
        *model = scored;
        inliers.swap(next);
    }
}

bool SameAsAny(const RelativePose& pose, const std::vector<Scored<RelativePose>>& kept) {
    return std::any_of(kept.begin(), kept.end(),
                       [&](const auto& k) { return SameCandidate(k.model, pose); });
}

// The best pose, then the runners-up that stay within `margin` of it and apart from every
// candidate before them when refined: a near-equal model that is only a noisy copy of a
// candidate moves onto it when refined, a true competitor stays apart.
std::vector<Scored<RelativePose>> Candidates(const PoseEstimator& estimator,
                                             const Scored<RelativePose>& best,
                                             std::vector<Scored<RelativePose>> runners_up,
                                             double margin) {
    std::vector<Scored<RelativePose>> candidates{best};
    std::stable_sort(runners_up.begin(), runners_up.end(),
                     [](const auto& a, const auto& b) { return a.score < b.score; });
    const auto left_out = [&](const Scored<RelativePose>& c) {
        return c.score > best.score + margin || SameAsAny(c.model, candidates);
    };
    int refined = 0;
    for (Scored<RelativePose> c : runners_up) {
        if (candidates.size() == kMaxCandidates || refined == kMaxCandidateRefinements) break;
        if (left_out(c)) continue;
        estimator.Refine(&c);
        ++refined;
        if (left_out(c)) continue;
        candidates.push_back(c);
    }
    std::stable_sort(candidates.begin() + 1, candidates.end(),
                     [](const auto& a, const auto& b) { return a.score < b.score; });
    return candidates;
}

}  // namespace

bool SameCandidate(const CvPose& a, const CvPose& b) {
    return RotationDistance(a.R, b.R) <= kCandidateMinRotationRad &&
           std::atan2(a.t.cross(b.t).norm(), a.t.dot(b.t)) <= kCandidateMinBaseAngleRad;
}

RansacResult FindRelativePose(const CoplanarityModel& model,
                              std::span<const Observation> observations,
                              const EstimationOptions& options) {
    RansacResult result;
    const double threshold_px = EffectiveThresholdPx(options);
    const PoseEstimator estimator(model, observations, threshold_px);
    if (estimator.Size() < static_cast<std::size_t>(PoseEstimator::kSampleSize)) return result;

    RansacLoop loop;
    loop.threads = options.threads;
    loop.keep_margin = kCandidateMaxCostIncrease * options.sigma_px * options.sigma_px;
    loop.runners_up = kRunnersUp;
    const auto weak = [&](const RansacReport<RelativePose>& so_far) {
        const Scored<RelativePose>& best = so_far.best;
        if (best.inliers < kCarefulInliers) return true;
        for (const auto& c : Candidates(estimator, best, so_far.runners_up, loop.keep_margin)) {
            if (RotationDistance(c.model.R, best.model.R) > kCompetitorMinRotationRad) return true;
        }
        const HomographyCheck planarity =
            CheckHomography(model, observations, estimator.InlierObservations(best.model),
                            threshold_px, kPlanaritySeed);
        return planarity.found && planarity.inlier_ratio > kPlanarInlierRatio;
    };
    const RansacReport<RelativePose> report = LoRansac(estimator, options.ransac, loop, weak);
    result.iterations = report.iterations;
    result.local_optimisations = report.local_optimisations;
    result.careful = report.careful;
    if (!report.found) {
        result.status = RansacStatus::no_model;
        return result;
    }
    result.status = RansacStatus::found;
    result.best = report.best;
    result.inliers = estimator.InlierObservations(report.best.model);
    // Without weak data the loop stopped with no competitor in sight: its best pose alone.
    result.candidates =
        report.careful ? Candidates(estimator, report.best, report.runners_up, loop.keep_margin)
                       : std::vector<Scored<RelativePose>>{report.best};
    return result;
}

}  // namespace ro
