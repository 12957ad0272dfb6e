// LO-RANSAC over five-point hypotheses.
#include "robust_orientation/ransac.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/thread_pool.h"
#include "robust_orientation/random.h"
#include "two_view/eight_point.h"
#include "two_view/essential.h"
#include "two_view/five_point.h"

namespace ro {
namespace {

constexpr int kSampleSize = 5;
constexpr int kLocalRounds = 4;
constexpr int kMinLinearPoints = 8;
constexpr std::size_t kMaxRefitPoints = 400;
// Points that vote for the factor of a refitted essential matrix: the true one has all
// of them in front, the others about half.
constexpr std::size_t kFactorVotes = 32;
constexpr std::size_t kMaxSecondCandidates = 16;
constexpr int kMaxSecondRefinements = 4;
// Samples drawn and scored together when threads share the work.
constexpr std::size_t kParallelBatch = 32;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The tie points with finite positions, as normalised rays.
struct Data {
    std::vector<int> index;  // observation number of each candidate
    std::vector<Eigen::Vector3d> u1;
    std::vector<Eigen::Vector3d> u2;
    double f1_px = 0.0;
    double f2_px = 0.0;
    double threshold_sq = 0.0;

    std::size_t size() const { return index.size(); }
};

Data Prepare(const CoplanarityModel& model, std::span<const Observation> observations,
             double threshold_px) {
    Data d;
    d.f1_px = model.FocalLength1Px();
    d.f2_px = model.FocalLength2Px();
    d.threshold_sq = threshold_px * threshold_px;
    for (std::size_t k = 0; k < observations.size(); ++k) {
        if (!observations[k].IsFinite()) continue;
        d.index.push_back(static_cast<int>(k));
        d.u1.push_back(model.NormalisedRay1(observations[k]));
        d.u2.push_back(model.NormalisedRay2(observations[k]));
    }
    return d;
}

two_view::RelativePose ToTwoView(const CvPose& pose) { return {pose.R, pose.t}; }
CvPose FromTwoView(const two_view::RelativePose& pose) { return {pose.R, pose.t}; }

bool IsInlier(const Data& d, const two_view::RelativePose& pose, const Eigen::Matrix3d& E,
              std::size_t k, double* r2) {
    *r2 = SampsonSquaredPx(E, d.u1[k], d.u2[k], d.f1_px, d.f2_px);
    return *r2 < d.threshold_sq && two_view::InFrontOfBothCameras(pose, d.u1[k], d.u2[k]);
}

// The MSAC score of a pose; stops early (score infinite) once it exceeds `bound`. With
// `inliers`, collects the inliers' numbers there.
RansacModel Score(const Data& d, const two_view::RelativePose& pose, double bound,
                  std::vector<std::size_t>* inliers = nullptr) {
    const Eigen::Matrix3d E = two_view::EssentialFromPose(pose);
    RansacModel m;
    m.pose = FromTwoView(pose);
    if (inliers != nullptr) inliers->clear();
    for (std::size_t k = 0; k < d.size(); ++k) {
        double r2 = 0.0;
        if (IsInlier(d, pose, E, k, &r2)) {
            m.score += r2;
            ++m.inliers;
            if (inliers != nullptr) inliers->push_back(k);
        } else {
            m.score += d.threshold_sq;
        }
        if (m.score > bound) {
            m.score = kInfinity;
            return m;
        }
    }
    return m;
}

// Of the four factors of E, the one that puts most of `points` in front of both cameras.
two_view::RelativePose BestFactor(const Eigen::Matrix3d& E, const Data& d,
                                  const std::vector<std::size_t>& points, bool* ok) {
    const auto factors = two_view::DecomposeEssential(E);
    *ok = factors.has_value();
    if (!factors) return {};
    int best_count = -1;
    two_view::RelativePose best;
    for (const two_view::RelativePose& pose : *factors) {
        int count = 0;
        for (const std::size_t k : points) {
            count += two_view::InFrontOfBothCameras(pose, d.u1[k], d.u2[k]);
        }
        if (count > best_count) {
            best_count = count;
            best = pose;
        }
    }
    return best;
}

// Every step-th of `all`, at most `limit` of them, spread over the whole list.
std::vector<std::size_t> Spread(const std::vector<std::size_t>& all, std::size_t limit) {
    if (all.size() <= limit) return all;
    std::vector<std::size_t> some;
    some.reserve(limit);
    for (std::size_t k = 0; k < limit; ++k) some.push_back(all[k * all.size() / limit]);
    return some;
}

// Local optimisation: refits E linearly on the model's inliers (a spread of at most
// kMaxRefitPoints of them: enough for a model that only has to find the inliers, the
// adjustment does the rest), each epipolar residual weighted by the inverse of its Sampson
// gradient so that the fit minimises (to first order) the Sampson errors; repeats while the
// score improves.
void Refine(const Data& d, RansacModel* model) {
    std::vector<std::size_t> inliers;
    *model = Score(d, ToTwoView(model->pose), kInfinity, &inliers);
    std::vector<Eigen::Vector3d> x1;
    std::vector<Eigen::Vector3d> x2;
    std::vector<double> weights;
    std::vector<std::size_t> next;
    for (int round = 0; round < kLocalRounds; ++round) {
        const std::vector<std::size_t> points = Spread(inliers, kMaxRefitPoints);
        if (points.size() < static_cast<std::size_t>(kMinLinearPoints)) return;
        const Eigen::Matrix3d E = two_view::EssentialFromPose(ToTwoView(model->pose));
        x1.clear();
        x2.clear();
        weights.clear();
        for (const std::size_t k : points) {
            const Eigen::Vector3d e_u1 = E * d.u1[k];
            const Eigen::Vector3d et_u2 = E.transpose() * d.u2[k];
            const double gradient_sq = et_u2.head<2>().squaredNorm() / (d.f1_px * d.f1_px) +
                                       e_u1.head<2>().squaredNorm() / (d.f2_px * d.f2_px);
            if (!(gradient_sq > 0.0)) continue;
            x1.push_back(d.u1[k]);
            x2.push_back(d.u2[k]);
            weights.push_back(1.0 / std::sqrt(gradient_sq));
        }
        Eigen::Matrix3d refit;
        if (!two_view::SolveEssentialLinear(x1, x2, weights, &refit)) return;
        bool ok = false;
        const two_view::RelativePose candidate =
            BestFactor(refit, d, Spread(points, kFactorVotes), &ok);
        if (!ok) return;
        const RansacModel scored = Score(d, candidate, model->score, &next);
        if (!(scored.score < model->score)) return;
        *model = scored;
        inliers.swap(next);
    }
}

using Sample = std::array<std::uint32_t, kSampleSize>;

// Solves one sample and scores each of its poses, stopping early above `bound`.
void EvaluateSample(const Data& d, const Sample& sample, double bound,
                    std::vector<two_view::RelativePose>* poses, std::vector<RansacModel>* out) {
    two_view::FivePoints x1;
    two_view::FivePoints x2;
    for (int s = 0; s < kSampleSize; ++s) {
        x1[static_cast<std::size_t>(s)] = d.u1[sample[static_cast<std::size_t>(s)]];
        x2[static_cast<std::size_t>(s)] = d.u2[sample[static_cast<std::size_t>(s)]];
    }
    two_view::SolveRelativePoseFivePoint(x1, x2, poses);
    out->clear();
    for (const two_view::RelativePose& pose : *poses) out->push_back(Score(d, pose, bound));
}

// Keeps the best-scoring models seen near the best score, for the second-solution check.
void NoteCandidate(std::vector<RansacModel>* candidates, const RansacModel& m) {
    if (candidates->size() < kMaxSecondCandidates) {
        candidates->push_back(m);
        return;
    }
    auto worst = std::max_element(
        candidates->begin(), candidates->end(),
        [](const RansacModel& a, const RansacModel& b) { return a.score < b.score; });
    if (m.score < worst->score) *worst = m;
}

}  // namespace

double IterationsNeeded(int inliers, int total, int sample_size, double confidence) {
    if (inliers < sample_size || total < sample_size) return kInfinity;
    double all_inliers = 1.0;
    for (int i = 0; i < sample_size; ++i) {
        all_inliers *= static_cast<double>(inliers - i) / static_cast<double>(total - i);
    }
    if (all_inliers >= 1.0) return 0.0;
    return std::log1p(-confidence) / std::log1p(-all_inliers);
}

RansacResult FindRelativePose(const CoplanarityModel& model,
                              std::span<const Observation> observations,
                              const RansacSettings& settings) {
    RansacResult result;
    const Data d = Prepare(model, observations, settings.threshold_px);
    result.candidates = static_cast<int>(d.size());
    result.inlier.assign(observations.size(), 0);
    if (d.size() < static_cast<std::size_t>(kSampleSize)) return result;

    SplitMix64 random(settings.seed);
    std::vector<RansacModel> candidates;
    double needed = kInfinity;
    const double second_margin =
        kSecondSolutionMaxCostIncrease * settings.sigma_px * settings.sigma_px;
    const auto n = static_cast<std::uint32_t>(d.size());
    const auto running = [&](int it) {
        return it < settings.max_iterations && (it < settings.min_iterations || it < needed);
    };
    // Samples are drawn, solved and scored a batch at a time (in parallel), and taken in
    // the order drawn: a model scored above the bound that holds when it is taken is
    // dropped, whatever bound it was scored against, so every decision, and the result,
    // is the same for every thread count.
    const std::size_t batch = settings.threads > 1 ? kParallelBatch : 1;
    std::vector<Sample> samples(batch);
    std::vector<std::vector<RansacModel>> scored(batch);
    std::vector<std::vector<two_view::RelativePose>> poses(
        static_cast<std::size_t>(std::max(settings.threads, 1)));
    int it = 0;
    while (running(it)) {
        for (Sample& sample : samples) sample = DrawDistinct<kSampleSize>(random, n);
        const double batch_bound = result.found ? result.best.score + second_margin : kInfinity;
        common::ForSlices(
            batch, settings.threads, [&](std::size_t begin, std::size_t end, std::size_t slice) {
                for (std::size_t b = begin; b < end; ++b) {
                    EvaluateSample(d, samples[b], batch_bound, &poses[slice], &scored[b]);
                }
                return true;
            });
        for (std::size_t b = 0; b < batch && running(it); ++b, ++it) {
            for (RansacModel& m : scored[b]) {
                const double bound = result.found ? result.best.score + second_margin : kInfinity;
                if (m.score == kInfinity || m.score > bound) continue;
                const bool improves =
                    !result.found || m.score < result.best.score || m.inliers > result.best.inliers;
                if (improves) {
                    Refine(d, &m);
                    ++result.local_optimisations;
                }
                if (!result.found || m.score < result.best.score) {
                    if (result.found) NoteCandidate(&candidates, result.best);
                    result.best = m;
                    result.found = true;
                    needed = IterationsNeeded(m.inliers, static_cast<int>(n), kSampleSize,
                                              settings.confidence);
                } else {
                    NoteCandidate(&candidates, m);
                }
            }
        }
    }
    result.iterations = it;
    if (!result.found) return result;

    const two_view::RelativePose best = ToTwoView(result.best.pose);
    const Eigen::Matrix3d E = two_view::EssentialFromPose(best);
    for (std::size_t k = 0; k < d.size(); ++k) {
        double r2 = 0.0;
        result.inlier[static_cast<std::size_t>(d.index[k])] = IsInlier(d, best, E, k, &r2) ? 1 : 0;
    }
    // A near-equal model that is only a noisy copy of the best one moves onto it when
    // refined; a true second solution stays apart.
    std::sort(candidates.begin(), candidates.end(),
              [](const RansacModel& a, const RansacModel& b) { return a.score < b.score; });
    int refined = 0;
    for (RansacModel c : candidates) {
        if (refined == kMaxSecondRefinements) break;
        if (RotationDistance(c.pose.R, result.best.pose.R) <= kSecondSolutionMinAngleRad) continue;
        Refine(d, &c);
        ++refined;
        if (c.score > result.best.score + second_margin) continue;
        if (RotationDistance(c.pose.R, result.best.pose.R) <= kSecondSolutionMinAngleRad) continue;
        result.second = c;
        result.second_found = true;
        break;
    }
    return result;
}

}  // namespace ro
